#include "match/SentenceAlign.h"

#include <algorithm>
#include <climits>
#include <string>

#include "match/EditScan.h"
#include "match/SentenceMatch.h"

namespace zqe {

namespace {

// A text reduced to the units that take part in the comparison, with the
// position of each in the original.
struct TCompared {
  std::u16string Units;
  std::vector<int32_t> Origin;
};

TCompared Reduce(std::u16string_view s, bool strict) {
  TCompared out;
  out.Units.reserve(s.size());
  out.Origin.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (!strict && !IsKeptForMatch(s[i])) continue;
    out.Units.push_back(s[i]);
    out.Origin.push_back(static_cast<int32_t>(i));
  }
  return out;
}

// The rows of D inside the band that every alignment of cost `d` ending at
// (m, end) stays in: |j - (end - m + i)| <= d. Cells hold D saturated at
// d + 1, which is all the walk back needs: a cell above d lies on no such
// alignment. Why the band is enough: a cell on an optimal alignment reaches
// (m, end) in at most d edits, so it lies in the band, and so does every
// cell of an optimal way to it; its value is therefore exact, and any
// neighbour the walk could step to is itself on an optimal alignment.
class TBand {
 public:
  TBand(std::u16string_view pattern, std::u16string_view text, int end, int d)
      : FPattern(pattern),
        FText(text),
        FWidth(2 * d + 1),
        FCap(static_cast<uint8_t>(d + 1)),
        FBase(end - static_cast<int>(pattern.size()) - d),
        FCells((pattern.size() + 1) * static_cast<size_t>(FWidth)) {
    const int m = static_cast<int>(pattern.size());
    const int n = static_cast<int>(text.size());
    for (int i = 0; i <= m; ++i) {
      for (int k = 0; k < FWidth; ++k) {
        const int j = Column(i, k);
        uint8_t& cell = At(i, k);
        if (j < 0 || j > n) {
          cell = FCap;
        } else if (i == 0) {
          cell = 0;
        } else if (j == 0) {
          cell = static_cast<uint8_t>(std::min(i, int(FCap)));
        } else {
          int v = Get(i - 1, k) + Cost(i, j);
          v = std::min(v, Get(i - 1, k + 1) + 1);
          v = std::min(v, Get(i, k - 1) + 1);
          cell = static_cast<uint8_t>(std::min(v, int(FCap)));
        }
      }
    }
  }

  int Column(int i, int k) const { return FBase + i + k; }
  int Cost(int i, int j) const { return FPattern[i - 1] == FText[j - 1] ? 0 : 1; }
  // Outside the band counts as too far.
  int Get(int i, int k) const { return k < 0 || k >= FWidth ? FCap : At(i, k); }

 private:
  uint8_t& At(int i, int k) { return FCells[static_cast<size_t>(i) * FWidth + k]; }
  uint8_t At(int i, int k) const { return FCells[static_cast<size_t>(i) * FWidth + k]; }

  std::u16string_view FPattern, FText;
  int FWidth;
  uint8_t FCap;
  int FBase;
  std::vector<uint8_t> FCells;
};

}  // namespace

TSentenceAlignment AlignSentence(std::u16string_view Sentence, std::u16string_view Text, bool StrictMatch) {
  TSentenceAlignment out;
  if (Sentence.empty() || Text.empty() || Text.size() > INT32_MAX) return out;
  if (const size_t at = Text.find(Sentence); at != std::u16string_view::npos) {
    out.Found = out.Verbatim = true;
    out.Start = static_cast<int32_t>(at);
    out.End = static_cast<int32_t>(at + Sentence.size());
    return out;
  }
  const TCompared pattern = Reduce(Sentence, StrictMatch);
  const TCompared text = Reduce(Text, StrictMatch);
  const int m = static_cast<int>(pattern.Units.size());
  const int n = static_cast<int>(text.Units.size());
  // Every substring is then more than the allowed edits away.
  if (m == 0 || n == 0 || pattern.Units.size() > text.Units.size() + kSentenceMaxDistance) return out;

  match_detail::TPatternMasks masks;
  match_detail::TBandedScan scan;
  masks.Assign(pattern.Units);
  const match_detail::TBestEnd best = match_detail::FindBestEnd(masks, text.Units, kSentenceMaxDistance, scan);
  if (best.End == 0) return out;

  const int d = best.Distance;
  const TBand band(pattern.Units, text.Units, best.End, d);
  std::vector<TAlignEdit> edits;  // in walk order: right to left
  int i = m, k = d, j = best.End;
  bool afterEdit = false;
  while (i > 0 && j > 0) {
    const int v = band.Get(i, k);
    const int cost = band.Cost(i, j);
    const bool diagonal = band.Get(i - 1, k) + cost == v;
    const bool up = band.Get(i - 1, k + 1) + 1 == v;
    const bool left = band.Get(i, k - 1) + 1 == v;
    // Next to an edit, another equally good edit comes first, so that
    // "than one" against "than 1" reads as one change, not three apart.
    const bool stay = afterEdit && ((diagonal && cost) || up || left);
    if (diagonal && (cost || !stay)) {
      if (cost) edits.push_back({TAlignEditKind::Substitute, j - 1, i - 1});
      afterEdit = cost != 0;
      --i, --j;
    } else if (up) {
      edits.push_back({TAlignEditKind::Insert, j, i - 1});
      afterEdit = true;
      --i, ++k;
    } else {
      edits.push_back({TAlignEditKind::Delete, j - 1, i});
      afterEdit = true;
      --j, --k;
    }
  }
  // Ran into the text's start: what is left of the sentence precedes it.
  for (; i > 0; --i) edits.push_back({TAlignEditKind::Insert, 0, i - 1});
  std::reverse(edits.begin(), edits.end());

  const int start = j;
  out.Found = true;
  out.Edits = d;
  out.Start = text.Origin[start];
  out.End = best.End > start ? text.Origin[best.End - 1] + 1 : out.Start;
  // An insertion goes right after the unit compared before it, so it does
  // not drift past punctuation that was not compared.
  auto insertAt = [&](int p) { return p > start ? text.Origin[p - 1] + 1 : out.Start; };
  auto sentenceAt = [&](int p) {
    return p < m ? pattern.Origin[p] : static_cast<int32_t>(Sentence.size());
  };
  out.EditList.reserve(edits.size());
  for (const TAlignEdit& e : edits) {
    TAlignEdit o = e;
    o.TextPos = e.Kind == TAlignEditKind::Insert ? insertAt(e.TextPos) : text.Origin[e.TextPos];
    o.SentencePos = sentenceAt(e.SentencePos);
    out.EditList.push_back(o);
  }
  return out;
}

}  // namespace zqe
