#include "match/EditScan.h"

#include <algorithm>
#include <bit>

namespace zqe::match_detail {

void TPatternMasks::Assign(std::u16string_view pattern) {
  FPattern = pattern;
  const size_t m = pattern.size();
  FWords = static_cast<int>((m + 63) / 64);
  // Load factor at most one half keeps probe runs short for the text units,
  // most of which are absent from the pattern.
  uint32_t bits = 4;
  while ((size_t(1) << bits) < 2 * m) ++bits;
  FShift = static_cast<int>(32 - bits);
  FSlotMask = (uint32_t(1) << bits) - 1;
  FSlots.assign(size_t(1) << bits, TSlot{0, kEmpty, 0});
  FMasks.reserve((m + 1) * FWords);
  FMasks.assign(FWords, 0);
  uint32_t next = 1;
  for (size_t i = 0; i < m; ++i) {
    const char16_t c = pattern[i];
    uint32_t s = Hash(c);
    while (FSlots[s].Key != kEmpty && FSlots[s].Key != c) s = (s + 1) & FSlotMask;
    if (FSlots[s].Key == kEmpty) {
      FSlots[s] = TSlot{0, c, next++};
      FMasks.resize(FMasks.size() + FWords, 0);
    }
    FMasks[size_t(FSlots[s].Index) * FWords + i / 64] |= uint64_t(1) << (i % 64);
    if (i < 64) FSlots[s].Word0 |= uint64_t(1) << i;
  }
}

void TBandedScan::Reset(const TPatternMasks& masks, int maxDistance) {
  const int m = masks.Rows();
  FWords = masks.Words();
  FLimit = std::min(maxDistance, m);  // D never exceeds m, and k + 64 must not overflow
  FLastRows = m - 64 * (FWords - 1);
  FLastBit = uint64_t(1) << (FLastRows - 1);
  FPv.assign(FWords, ~uint64_t(0));
  FMv.assign(FWords, 0);
  FScore.resize(FWords);
  for (int b = 0; b < FWords; ++b) FScore[b] = 64 * b + Rows(b);
  // Column 0 holds D[i][0] = i, so every row below the limit is outside.
  FLast = std::min(FWords - 1, FLimit / 64);
}

TBestEnd FindBestEnd(const TPatternMasks& masks, std::u16string_view text, int maxDistance,
                     TBandedScan& scratch) {
  const int m = masks.Rows();
  if (m == 0 || maxDistance < 0 || text.empty()) return {};
  const int limit = std::min(maxDistance, m);
  int best = limit + 1;
  int end = 0;
  int j = 0;
  if (masks.Words() == 1) {
    uint64_t pv = ~uint64_t(0), mv = 0;
    const uint64_t lastBit = uint64_t(1) << (m - 1);
    int score = m;
    for (const char16_t c : text) {
      ++j;
      score += BlockStep(pv, mv, masks.EqWord(c), 0, lastBit);
      if (score <= best && score <= limit) {
        best = score;
        end = j;
      }
    }
  } else {
    scratch.Reset(masks, limit);
    for (const char16_t c : text) {
      ++j;
      const int score = scratch.Step(masks.Eq(c));
      if (score <= best && score <= limit) {
        best = score;
        end = j;
      }
    }
  }
  if (end == 0) return {};
  return TBestEnd{end, best};
}

int TraceBackStart(const TPatternMasks& masks, std::u16string_view text, TBestEnd best,
                   std::vector<uint64_t>& columns) {
  const int m = masks.Rows();
  const int words = masks.Words();
  const std::u16string_view pattern = masks.Pattern();
  // Every optimal alignment ending at (m, end) takes at most m diagonal and
  // `Distance` leftward steps, so it starts right of end - m - Distance.
  // Scanning as if the text began there leaves D unchanged on every such
  // alignment; elsewhere it can only raise D, which makes no cell look like
  // a step of an optimal alignment that was not one. The walk therefore
  // takes the same steps as on the whole matrix.
  const int from = std::max(0, best.End - (m + best.Distance));
  const int count = best.End - from + 1;
  const size_t stride = size_t(2) * words;
  columns.resize(size_t(count) * stride);
  uint64_t* col = columns.data();
  for (int w = 0; w < words; ++w) {
    col[w] = ~uint64_t(0);
    col[words + w] = 0;
  }
  const int lastRows = m - 64 * (words - 1);
  for (int j = from + 1; j <= best.End; ++j) {
    uint64_t* next = col + stride;
    std::copy(col, col + stride, next);
    const uint64_t* eq = masks.Eq(text[j - 1]);
    int hin = 0;
    for (int w = 0; w < words; ++w) {
      const uint64_t outBit = uint64_t(1) << (w == words - 1 ? lastRows - 1 : 63);
      hin = BlockStep(next[w], next[words + w], eq[w], hin, outBit);
    }
    col = next;
  }

  auto d = [&](int column, int row) {
    if (row == 0) return 0;
    const uint64_t* c = columns.data() + size_t(column) * stride;
    const int block = (row - 1) / 64;
    const int bit = (row - 1) % 64;
    int value = 0;
    for (int w = 0; w < block; ++w) value += std::popcount(c[w]) - std::popcount(c[words + w]);
    const uint64_t mask = bit == 63 ? ~uint64_t(0) : (uint64_t(1) << (bit + 1)) - 1;
    value += std::popcount(c[block] & mask) - std::popcount(c[words + block] & mask);
    return value;
  };

  int i = m;
  int j = best.End;
  // The walk reaches row 0 by column `from` at the latest (see above);
  // testing j > from keeps it from ever reading before the window.
  while (i > 0 && j > from) {
    const int column = j - from;
    const int here = d(column, i);
    const int cost = pattern[i - 1] == text[j - 1] ? 0 : 1;
    if (here == d(column - 1, i - 1) + cost) {
      --i;
      --j;
    } else if (here == d(column, i - 1) + 1) {
      --i;
    } else {
      --j;
    }
  }
  return j;
}

}  // namespace zqe::match_detail
