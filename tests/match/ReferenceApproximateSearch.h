// THE SLOW REFERENCE: the full (m+1) x (n+1) edit-distance matrix, filled
// and traced back cell by cell exactly as the behaviour is defined. Linked
// only by tests and benchmarks, to check the bit-parallel code against it.
// Never use it on untrusted input: time and memory are m * n.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "match/ApproximateSubstringSearch.h"
#include "match/SentenceAlign.h"

namespace zqe::reference {

class TApproximateSearch {
 public:
  explicit TApproximateSearch(std::u16string AText);
  TMatchResult FindBestMatch(std::u16string_view APattern, int32_t MaxDistance);

 private:
  void EnsureMatrix(int32_t patternLen, int32_t textLen);
  static int32_t Min3(int32_t a, int32_t b, int32_t c);

  std::vector<int32_t> FMatrix1D;
  int32_t FMatrixWidth = 0;
  int32_t FMatrixHeight = 0;
  std::u16string FText;
  int32_t FTextLen = 0;
};

// Exact occurrence first, then the full matrix on the (normalised) texts.
bool MatchSentence(std::u16string_view Sentence, std::u16string_view Text, bool StrictMatch);

// The verbatim test, then the full matrix on the compared units and the
// walk back cell by cell, every step recorded.
TSentenceAlignment AlignSentence(std::u16string_view Sentence, std::u16string_view Text, bool StrictMatch);

}  // namespace zqe::reference
