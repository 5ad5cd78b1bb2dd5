// Approximate substring search: the substring of a text closest to a
// pattern in edit distance (Sellers' problem: free start and end in the
// text), with single-unit insertions, deletions and substitutions each
// costing 1. Units are UTF-16 code units compared exactly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "match/EditScan.h"

namespace zqe {

struct TMatchResult {
  bool Found = false;
  int32_t Position = 0;  // 1-based start of the best substring in the text
  int32_t Length = 0;    // in UTF-16 code units
  int32_t Distance = 0;
  std::u16string MatchedString;

  friend bool operator==(const TMatchResult&, const TMatchResult&) = default;
};

// Searches one text, fixed at construction, for any number of patterns.
// Among equally close substrings the one ending rightmost wins; its start
// is the one reached by walking the edit-distance matrix back from that
// end preferring a diagonal step, then an upward one, then a leftward one.
//
// Work is bit-parallel, about n * ceil(m / 64) word steps for a text of n
// and a pattern of m units, and memory stays linear in the text plus a
// window of at most m + MaxDistance + 1 columns of m bits for the walk
// back; no (m+1) x (n+1) matrix is built.
//
// Not thread-safe: the scratch buffers are reused by every call, so one
// object serves one thread at a time.
class TApproximateSearch {
 public:
  // Throws std::length_error for a text longer than INT32_MAX units.
  explicit TApproximateSearch(std::u16string AText);

  // Found only when the best distance is at most MaxDistance; an empty
  // pattern, an empty text or a negative MaxDistance is never found. When
  // not found, every other field is zero or empty.
  TMatchResult FindBestMatch(std::u16string_view APattern, int32_t MaxDistance);

  // FindBestMatch(APattern, MaxDistance).Found, but scans only the
  // stretches around exact pieces of the pattern, stops at the first end
  // within MaxDistance and skips the walk back.
  bool HasMatch(std::u16string_view APattern, int32_t MaxDistance);

  const std::u16string& Text() const { return FText; }

 private:
  std::u16string FText;
  int32_t FTextLen = 0;
  match_detail::TPatternMasks FMasks;
  match_detail::TBandedScan FScan;
  std::vector<uint64_t> FColumns;
  match_detail::TPieceScratch FPieces;
};

}  // namespace zqe
