#include "ReferenceApproximateSearch.h"

#include <algorithm>

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

namespace zqe::reference {

TSentenceAlignment AlignSentence(std::u16string_view Sentence, std::u16string_view Text, bool StrictMatch) {
  TSentenceAlignment out;
  if (Sentence.empty()) return out;
  const size_t at = Text.find(Sentence);
  if (at != std::u16string_view::npos) {
    out.Found = out.Verbatim = true;
    out.Start = static_cast<int32_t>(at);
    out.End = static_cast<int32_t>(at + Sentence.size());
    return out;
  }
  // Positions of the compared units in the originals.
  std::vector<int32_t> ps, ts;
  for (size_t i = 0; i < Sentence.size(); ++i)
    if (StrictMatch || NormalizeForMatch(Sentence.substr(i, 1)).size() == 1) ps.push_back(int32_t(i));
  for (size_t i = 0; i < Text.size(); ++i)
    if (StrictMatch || NormalizeForMatch(Text.substr(i, 1)).size() == 1) ts.push_back(int32_t(i));
  const int32_t m = int32_t(ps.size()), n = int32_t(ts.size());
  if (m == 0 || n == 0) return out;
  auto P = [&](int32_t i) { return Sentence[size_t(ps[size_t(i - 1)])]; };
  auto T = [&](int32_t j) { return Text[size_t(ts[size_t(j - 1)])]; };
  std::vector<int32_t> D(size_t(m + 1) * size_t(n + 1));
  auto d = [&](int32_t i, int32_t j) -> int32_t& { return D[size_t(i) * size_t(n + 1) + size_t(j)]; };
  auto cost = [&](int32_t i, int32_t j) { return P(i) == T(j) ? 0 : 1; };
  for (int32_t i = 1; i <= m; ++i) d(i, 0) = i;
  for (int32_t i = 1; i <= m; ++i)
    for (int32_t j = 1; j <= n; ++j)
      d(i, j) = std::min({d(i - 1, j) + 1, d(i, j - 1) + 1, d(i - 1, j - 1) + cost(i, j)});
  int32_t end = 1;
  for (int32_t j = 2; j <= n; ++j)
    if (d(m, j) <= d(m, end)) end = j;
  if (d(m, end) > kSentenceMaxDistance) return out;

  std::vector<TAlignEdit> edits;
  int32_t i = m, j = end;
  bool afterEdit = false;
  while (i > 0 || j > 0) {
    const bool diagonal = i > 0 && j > 0 && d(i, j) == d(i - 1, j - 1) + cost(i, j);
    const bool up = i > 0 && j > 0 && d(i, j) == d(i - 1, j) + 1;
    const bool left = i > 0 && j > 0 && d(i, j) == d(i, j - 1) + 1;
    if (afterEdit && !(diagonal && cost(i, j)) && (up || left)) {
      // Another edit right after an edit: insertion before deletion.
      if (up) {
        edits.insert(edits.begin(), {TAlignEditKind::Insert, j, ps[size_t(i - 1)]});
        --i;
      } else {
        edits.insert(edits.begin(), {TAlignEditKind::Delete, ts[size_t(j - 1)], i < m ? ps[size_t(i)] : int32_t(Sentence.size())});
        --j;
      }
      continue;
    }
    afterEdit = true;
    if (diagonal) afterEdit = cost(i, j) != 0;
    if (diagonal) {
      if (cost(i, j)) edits.insert(edits.begin(), {TAlignEditKind::Substitute, ts[size_t(j - 1)], ps[size_t(i - 1)]});
      --i, --j;
    } else if (i > 0 && (j == 0 || d(i, j) == d(i - 1, j) + 1)) {
      edits.insert(edits.begin(), {TAlignEditKind::Insert, j, ps[size_t(i - 1)]});  // text position fixed below
      --i;
    } else if (i == 0) {
      break;
    } else {
      edits.insert(edits.begin(),
                   {TAlignEditKind::Delete, ts[size_t(j - 1)], i < m ? ps[size_t(i)] : int32_t(Sentence.size())});
      --j;
    }
  }
  const int32_t first = j;  // compared units before the span
  out.Found = true;
  out.Edits = d(m, end);
  out.Start = ts[size_t(first)];
  out.End = ts[size_t(end - 1)] + 1;
  for (TAlignEdit& e : edits)
    if (e.Kind == TAlignEditKind::Insert) e.TextPos = e.TextPos > first ? ts[size_t(e.TextPos - 1)] + 1 : out.Start;
  out.EditList = std::move(edits);
  return out;
}

}  // namespace zqe::reference
