// The hit test of a search-result entry against the checked sentence.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zqe {

// Edits allowed between the sentence and a substring of the entry's text.
inline constexpr int32_t kSentenceMaxDistance = 8;

// True when Sentence occurs in Text exactly (case-sensitive; an empty
// sentence never occurs), or else when some substring of Text is within
// kSentenceMaxDistance edits of Sentence. Unless StrictMatch, that second
// test compares the NormalizeForMatch forms of both, so punctuation and
// spaces do not count as edits; StrictMatch keeps every unit but still
// allows the edits.
//
// Answers exactly as TApproximateSearch::FindBestMatch(..., 8).Found on the
// (normalised) texts would, without building a matrix: exact pieces of
// the sentence pick the stretches of the text that a bit-parallel scan
// then checks, stopping at the first close end.
// Keeps no state; safe to call from any number of threads at once.
bool MatchSentence(std::u16string_view Sentence, std::u16string_view Text, bool StrictMatch);

// MatchSentence for one sentence against many texts, the entries of a
// page: the sentence is normalised, and the tables of its pieces and
// masks built, once. One thread at a time.
class TSentenceMatcher {
 public:
  TSentenceMatcher(std::u16string_view Sentence, bool StrictMatch);
  ~TSentenceMatcher();
  TSentenceMatcher(const TSentenceMatcher&) = delete;
  TSentenceMatcher& operator=(const TSentenceMatcher&) = delete;

  // MatchSentence(Sentence, Text, StrictMatch).
  bool Matches(std::u16string_view Text);

 private:
  struct TState;
  std::unique_ptr<TState> FState;
};

// Whether NormalizeForMatch keeps the unit: ASCII digits and letters (case
// kept) and CJK unified ideographs U+4E00..U+9FA5.
constexpr bool IsKeptForMatch(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
         (c >= 0x4E00 && c <= 0x9FA5);
}

// S with every unit that IsKeptForMatch rejects removed, order kept.
std::u16string NormalizeForMatch(std::u16string_view S);

namespace match_detail {
// The same with the 16-unit path (AVX2, 64-bit builds) allowed or not, so
// that tests hold both paths to the rule on one machine.
std::u16string NormalizeForMatch(std::u16string_view S, bool wide);
}  // namespace match_detail

}  // namespace zqe
