// Where and how a sentence stands in a result entry's text, for reports
// that show the two side by side: the best-matching span of the text and
// the edits that turn it into the sentence, found the way MatchSentence
// decides a hit.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace zqe {

enum class TAlignEditKind : uint8_t {
  Substitute,  // Text[TextPos] stands where the sentence has Sentence[SentencePos]
  Delete,      // Text[TextPos] has no counterpart in the sentence; it
               // falls just before Sentence[SentencePos] (or at its end)
  Insert,      // Sentence[SentencePos] has no counterpart in the text; it
               // belongs just before Text[TextPos]
};

struct TAlignEdit {
  TAlignEditKind Kind = TAlignEditKind::Substitute;
  int32_t TextPos = 0;      // UTF-16 unit of the original text
  int32_t SentencePos = 0;  // UTF-16 unit of the original sentence

  friend bool operator==(const TAlignEdit&, const TAlignEdit&) = default;
};

struct TSentenceAlignment {
  bool Found = false;
  // The sentence occurs in the text unit for unit.
  bool Verbatim = false;
  int32_t Edits = 0;
  // [Start, End) of the original text, UTF-16 units. Without StrictMatch it
  // runs from the first to the last unit that took part in the alignment,
  // so punctuation and spaces inside it are shown but were not compared.
  int32_t Start = 0, End = 0;
  // One entry per edit, in text order (Edits == Edits.size()).
  std::vector<TAlignEdit> EditList;

  friend bool operator==(const TSentenceAlignment&, const TSentenceAlignment&) = default;
};

// Found exactly when MatchSentence(Sentence, Text, StrictMatch) is true:
// a verbatim occurrence (the first one) wins; otherwise the alignment of
// the (NormalizeForMatch, unless StrictMatch) sentence against the same
// form of the text with the fewest edits, at most kSentenceMaxDistance,
// with free start and end in the text. Among equally good alignments: the
// rightmost end (as TApproximateSearch::FindBestMatch), then the walk back
// from it prefers a diagonal step, then an upward one (an insertion), then
// a leftward one (a deletion); but right after an edit it takes another
// edit wherever one is as good (a substitution, an insertion, a deletion,
// in that order), so that a change reads as one run of edits.
//
// Cost: the bit-parallel scan of MatchSentence, then a walk back inside a
// band of 2 * Edits + 1 cells per sentence unit: memory stays linear in
// the inputs (about 17 bytes per sentence unit at most), never a matrix of
// sentence x text. Keeps no state; safe from any number of threads.
TSentenceAlignment AlignSentence(std::u16string_view Sentence, std::u16string_view Text, bool StrictMatch);

}  // namespace zqe
