// Internal to src/match: the bit-parallel edit-distance scan (Myers' column
// recurrence in Hyyro's block form) behind TApproximateSearch and
// MatchSentence. May change without notice; include only from src/match.
//
// Conventions: the pattern P has m units, the text T is scanned unit by
// unit, and D[i][j] is the edit distance of P[1..i] to the best substring
// of T ending at column j (free start: D[0][j] = 0, D[i][0] = i). Each
// column is kept as vertical deltas, 64 rows per machine word.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zqe::match_detail {

// For every distinct unit of the pattern, the bit vector of the rows where
// it occurs; every other unit maps to the all-zero vector.
class TPatternMasks {
 public:
  void Assign(std::u16string_view pattern);

  std::u16string_view Pattern() const { return FPattern; }
  int Rows() const { return static_cast<int>(FPattern.size()); }
  int Words() const { return FWords; }

  const uint64_t* Eq(char16_t c) const { return &FMasks[static_cast<size_t>(Find(c).Index) * FWords]; }
  // The first word of Eq(c), without the indirection: all of it when the
  // pattern fits one word.
  uint64_t EqWord(char16_t c) const { return Find(c).Word0; }

 private:
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
  struct TSlot {
    uint64_t Word0;
    uint32_t Key;
    uint32_t Index;
  };
  uint32_t Hash(char16_t c) const { return (uint32_t(c) * 0x9E3779B1u) >> FShift; }
  // Every unit absent from the pattern ends on an empty slot, whose Word0
  // and Index (0) stand for the all-zero vector.
  const TSlot& Find(char16_t c) const {
    uint32_t s = Hash(c);
    for (;;) {
      const TSlot& slot = FSlots[s];
      if (slot.Key == c || slot.Key == kEmpty) return slot;
      s = (s + 1) & FSlotMask;
    }
  }

  std::u16string_view FPattern;  // not owned; the caller keeps it alive
  std::u16string FBuiltFor;      // a copy of the pattern the tables were built for
  int FWords = 0;
  int FShift = 28;
  uint32_t FSlotMask = 0;
  std::vector<TSlot> FSlots;
  std::vector<uint64_t> FMasks;  // FWords words per distinct unit; entry 0 all zero
};

// One step of the column recurrence over one 64-row block. hin is the
// horizontal delta entering the block's top row from the block above (0 for
// the first block: row 0 is free); returns the horizontal delta at outBit,
// the block's last row.
inline int BlockStep(uint64_t& pv, uint64_t& mv, uint64_t eq, int hin, uint64_t outBit) {
  const uint64_t xv = eq | mv;
  const uint64_t hinNeg = hin < 0 ? 1u : 0u;
  eq |= hinNeg;
  const uint64_t xh = (((eq & pv) + pv) ^ pv) | eq;
  uint64_t ph = mv | ~(xh | pv);
  uint64_t mh = pv & xh;
  // Branch-free: the sign changes from column to column unpredictably.
  const int hout = static_cast<int>((ph & outBit) != 0) - static_cast<int>((mh & outBit) != 0);
  ph = (ph << 1) | (hin > 0 ? 1u : 0u);
  mh = (mh << 1) | hinNeg;
  pv = mh | ~(xv | ph);
  mv = ph & xv;
  return hout;
}

// Multi-word scan that only computes the blocks that can still hold a
// value within the limit (Ukkonen's cut-off): rows below the last active
// block are known to exceed it. Values within the limit are exact; values
// above it may be over-estimated, which never turns a miss into a hit.
class TBandedScan {
 public:
  void Reset(const TPatternMasks& masks, int maxDistance);
  // Advances one column; returns D[m][j], or a value above the limit when
  // row m lies below the active band.
  int Step(const uint64_t* eq) {
    int hin = 0;
    for (int b = 0; b <= FLast; ++b) {
      hin = BlockStep(FPv[b], FMv[b], eq[b], hin, b == FWords - 1 ? FLastBit : uint64_t(1) << 63);
      FScore[b] += hin;
    }
    // A value within the limit can enter the next block only through its
    // top row, which is at least one less than the row above it. The
    // block's previous column is unknown; all +1 deltas from the row above
    // bound it from above, which keeps every value within the limit exact.
    while (FLast < FWords - 1 && FScore[FLast] <= FLimit + 1) {
      const int previous = FScore[FLast] - hin;
      const int b = ++FLast;
      FPv[b] = ~uint64_t(0);
      FMv[b] = 0;
      FScore[b] = previous + Rows(b);
      hin = BlockStep(FPv[b], FMv[b], eq[b], hin, b == FWords - 1 ? FLastBit : uint64_t(1) << 63);
      FScore[b] += hin;
    }
    // Every row of a block is at least its last row minus (rows - 1).
    while (FLast > 0 && FScore[FLast] >= FLimit + Rows(FLast)) --FLast;
    return FLast == FWords - 1 ? FScore[FLast] : FLimit + 1;
  }

 private:
  int Rows(int block) const { return block == FWords - 1 ? FLastRows : 64; }

  std::vector<uint64_t> FPv, FMv;
  std::vector<int> FScore;  // D at each block's last row
  int FWords = 0;
  int FLast = 0;
  int FLimit = 0;
  int FLastRows = 0;
  uint64_t FLastBit = 0;
};

// Whether some substring of the text's kept units is within maxDistance of
// the pattern; stops at the first column that shows one. Keep(c) selects
// the units that take part, so a filtered text needs no copy.
template <class Keep>
bool AnyEndWithin(const TPatternMasks& masks, std::u16string_view text, int maxDistance,
                  TBandedScan& scratch, Keep keep) {
  const int m = masks.Rows();
  if (m == 0 || maxDistance < 0) return false;
  if (masks.Words() == 1) {
    uint64_t pv = ~uint64_t(0), mv = 0;
    const uint64_t lastBit = uint64_t(1) << (m - 1);
    int score = m;
    for (const char16_t c : text) {
      if (!keep(c)) continue;
      score += BlockStep(pv, mv, masks.EqWord(c), 0, lastBit);
      if (score <= maxDistance) return true;
    }
    return false;
  }
  scratch.Reset(masks, maxDistance);
  for (const char16_t c : text) {
    if (!keep(c)) continue;
    if (scratch.Step(masks.Eq(c)) <= maxDistance) return true;
  }
  return false;
}

// Scratch for AnyWithinByPieces, reusable from call to call.
struct TPieceScratch {
  struct TGram {
    uint32_t Key;  // two pattern units, the first in the high half
    uint32_t At;   // pattern position of the gram's first unit, plus one; 0 marks an empty slot
  };
  std::vector<TGram> Grams;
  std::u16string GramsPattern;  // the pattern and piece count Grams were built for
  size_t GramsPieces = 0;
  size_t GramsCount = 0;  // grams in the table, one per pattern position that starts one
  // The table's grams by the top 12 bits of their hash: nearly every text
  // gram is absent, and one bit tells most of them so.
  uint64_t GramBits[64] = {};
  TPatternMasks Masks;
  TBandedScan Scan;
};

// AnyEndWithin(pattern, text, maxDistance) with every unit kept, in less
// work when the text holds few pieces of the pattern. With k edits, a
// substring within k of the pattern holds one of k + 1 disjoint pieces of
// it unchanged (pigeonhole), so only the stretches around exact piece
// occurrences go through the bit-parallel scan. The pieces are looked up
// by their two-unit grams at every (shortest piece - 1)-th text position,
// which meets each occurrence once. Before its scan, a window must hold
// enough of those grams: an alignment within k edits keeps all but at most
// 2k of them, each at a text position of its own, so a window with fewer
// positions whose gram is one of them holds no match (most windows around
// a short piece that merely recurs in the text fail this at a fraction of
// the scan's cost). Piece compares and window scans draw
// on a budget of a few units per text unit; a text that exhausts it (runs
// of one repeated unit, say) is scanned whole instead, so the work stays
// linear. Patterns whose pieces would be shorter than two units get the
// plain scan.
bool AnyWithinByPieces(std::u16string_view pattern, std::u16string_view text, int maxDistance,
                       TPieceScratch& scratch);

struct TBestEnd {
  int End = 0;       // 1-based column of the rightmost best end; 0 when none
  int Distance = 0;  // D[m][End]
};

// The smallest D[m][j] over all columns, the rightmost column on ties,
// provided it is within maxDistance.
TBestEnd FindBestEnd(const TPatternMasks& masks, std::u16string_view text, int maxDistance,
                     TBandedScan& scratch);

// Walks the alignment back from (m, end) with the reference tie rules
// (diagonal, then up, then left) and returns the column where it stops,
// so the match starts at that column + 1. Only the columns that the walk
// can reach are recomputed, into `columns`.
int TraceBackStart(const TPatternMasks& masks, std::u16string_view text, TBestEnd best,
                   std::vector<uint64_t>& columns);

}  // namespace zqe::match_detail
