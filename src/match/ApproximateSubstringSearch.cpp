#include "match/ApproximateSubstringSearch.h"

#include <limits>
#include <stdexcept>

namespace zqe {

namespace {
constexpr size_t kMaxUnits = static_cast<size_t>(std::numeric_limits<int32_t>::max());
}

TApproximateSearch::TApproximateSearch(std::u16string AText) : FText(std::move(AText)) {
  if (FText.size() > kMaxUnits) throw std::length_error("TApproximateSearch: text too long");
  FTextLen = static_cast<int32_t>(FText.size());
}

TMatchResult TApproximateSearch::FindBestMatch(std::u16string_view APattern, int32_t MaxDistance) {
  TMatchResult result;
  if (APattern.empty() || FTextLen == 0 || MaxDistance < 0) return result;
  if (APattern.size() > kMaxUnits) throw std::length_error("FindBestMatch: pattern too long");
  FMasks.Assign(APattern);
  const match_detail::TBestEnd best = match_detail::FindBestEnd(FMasks, FText, MaxDistance, FScan);
  if (best.End == 0) return result;
  const int start = match_detail::TraceBackStart(FMasks, FText, best, FColumns);
  result.Found = true;
  result.Distance = best.Distance;
  result.Position = start + 1;
  result.Length = best.End - start;
  result.MatchedString = FText.substr(static_cast<size_t>(start), static_cast<size_t>(result.Length));
  return result;
}

bool TApproximateSearch::HasMatch(std::u16string_view APattern, int32_t MaxDistance) {
  if (APattern.empty() || FTextLen == 0 || MaxDistance < 0) return false;
  if (APattern.size() > kMaxUnits) throw std::length_error("HasMatch: pattern too long");
  return match_detail::AnyWithinByPieces(APattern, FText, MaxDistance, FPieces);
}

}  // namespace zqe
