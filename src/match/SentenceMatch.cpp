#include "match/SentenceMatch.h"

#include <string>

#include "match/EditScan.h"

namespace zqe {

namespace {

constexpr auto kKeepAll = [](char16_t) { return true; };

// A plain search is fastest on real snippets, but a text such as "aaaa..."
// against "aa...ab" makes it quadratic; past a budget of unit comparisons
// the bit-parallel scan with no edits allowed answers in bounded time.
bool ContainsExact(std::u16string_view text, std::u16string_view pattern,
                   match_detail::TPatternMasks& masks, match_detail::TBandedScan& scan) {
  const size_t n = text.size();
  const size_t m = pattern.size();
  if (m == 0 || m > n) return false;
  size_t budget = 4 * n + 256;
  const char16_t first = pattern[0];
  const char16_t* p = text.data();
  const char16_t* const last = text.data() + (n - m);
  while (p <= last) {
    p = std::char_traits<char16_t>::find(p, static_cast<size_t>(last - p) + 1, first);
    if (p == nullptr) return false;
    size_t i = 1;
    while (i < m && p[i] == pattern[i]) ++i;
    if (i == m) return true;
    if (i >= budget) {
      masks.Assign(pattern);
      return match_detail::AnyEndWithin(masks, text, 0, scan, kKeepAll);
    }
    budget -= i;
    ++p;
  }
  return false;
}

}  // namespace

std::u16string NormalizeForMatch(std::u16string_view S) {
  std::u16string out;
  out.reserve(S.size());
  for (const char16_t c : S)
    if (IsKeptForMatch(c)) out.push_back(c);
  return out;
}

bool MatchSentence(std::u16string_view Sentence, std::u16string_view Text, bool StrictMatch) {
  if (Sentence.empty() || Text.empty()) return false;
  match_detail::TPatternMasks masks;
  match_detail::TBandedScan scan;
  if (ContainsExact(Text, Sentence, masks, scan)) return true;
  if (StrictMatch) {
    masks.Assign(Sentence);
    return match_detail::AnyEndWithin(masks, Text, kSentenceMaxDistance, scan, kKeepAll);
  }
  // Filtering the text on the fly scans exactly NormalizeForMatch(Text)
  // without copying it.
  const std::u16string pattern = NormalizeForMatch(Sentence);
  masks.Assign(pattern);
  return match_detail::AnyEndWithin(masks, Text, kSentenceMaxDistance, scan,
                                    [](char16_t c) { return IsKeptForMatch(c); });
}

}  // namespace zqe
