#include "ReferenceApproximateSearch.h"

#include "match/SentenceMatch.h"

namespace zqe::reference {

TApproximateSearch::TApproximateSearch(std::u16string AText)
    : FText(std::move(AText)), FTextLen(static_cast<int32_t>(FText.size())) {}

int32_t TApproximateSearch::Min3(int32_t a, int32_t b, int32_t c) {
  int32_t r = a;
  if (b < r) r = b;
  if (c < r) r = c;
  return r;
}

void TApproximateSearch::EnsureMatrix(int32_t patternLen, int32_t textLen) {
  if (patternLen + 1 > FMatrixHeight || textLen + 1 > FMatrixWidth) {
    FMatrixWidth = textLen + 1;
    FMatrixHeight = patternLen + 1;
    FMatrix1D.resize(static_cast<size_t>(FMatrixWidth) * FMatrixHeight);
  }
}

TMatchResult TApproximateSearch::FindBestMatch(std::u16string_view APattern, int32_t MaxDistance) {
  TMatchResult result;
  const int32_t m = static_cast<int32_t>(APattern.size());
  const int32_t n = FTextLen;
  if (m == 0 || n == 0 || MaxDistance < 0) return result;
  EnsureMatrix(m, n);
  auto D = [&](int32_t i, int32_t j) -> int32_t& {
    return FMatrix1D[static_cast<size_t>(i) * FMatrixWidth + j];
  };
  for (int32_t j = 0; j <= n; ++j) D(0, j) = 0;
  for (int32_t i = 1; i <= m; ++i) D(i, 0) = i;
  auto cost = [&](int32_t i, int32_t j) { return APattern[i - 1] == FText[j - 1] ? 0 : 1; };
  for (int32_t i = 1; i <= m; ++i)
    for (int32_t j = 1; j <= n; ++j)
      D(i, j) = Min3(D(i - 1, j) + 1, D(i, j - 1) + 1, D(i - 1, j - 1) + cost(i, j));
  int32_t best = D(m, 1);
  int32_t endPos = 1;
  for (int32_t j = 2; j <= n; ++j) {
    if (D(m, j) <= best) {
      best = D(m, j);
      endPos = j;
    }
  }
  if (best > MaxDistance) return result;
  result.Found = true;
  result.Distance = best;
  int32_t i = m;
  int32_t j = endPos;
  while (i > 0 && j > 0) {
    if (D(i, j) == D(i - 1, j - 1) + cost(i, j)) {
      --i;
      --j;
    } else if (D(i, j) == D(i - 1, j) + 1) {
      --i;
    } else {
      --j;
    }
  }
  result.Position = j + 1;
  result.Length = endPos - j;
  result.MatchedString = FText.substr(static_cast<size_t>(j), static_cast<size_t>(result.Length));
  return result;
}

bool MatchSentence(std::u16string_view Sentence, std::u16string_view Text, bool StrictMatch) {
  if (!Sentence.empty() && Text.find(Sentence) != std::u16string_view::npos) return true;
  std::u16string text(Text), sentence(Sentence);
  if (!StrictMatch) {
    text = NormalizeForMatch(text);
    sentence = NormalizeForMatch(sentence);
  }
  TApproximateSearch search(text);
  return search.FindBestMatch(sentence, kSentenceMaxDistance).Found;
}

}  // namespace zqe::reference
