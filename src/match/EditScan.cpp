#include "match/EditScan.h"

#include <algorithm>
#include <bit>
#include <iterator>

namespace zqe::match_detail {

void TPatternMasks::Assign(std::u16string_view pattern) {
  // One sentence is tested against every entry of a page: its masks are
  // built for the first and kept for the rest.
  if (!FSlots.empty() && pattern == FBuiltFor) {
    FPattern = pattern;
    return;
  }
  FBuiltFor.clear();  // stays empty if an allocation below fails
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
  FBuiltFor.assign(pattern);
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

namespace {

constexpr auto kKeepAll = [](char16_t) { return true; };

uint32_t GramKey(const char16_t* at) { return (uint32_t(at[0]) << 16) | at[1]; }
uint32_t GramHash(uint32_t key) { return key * 0x9E3779B1u; }
uint32_t GramSlot(uint32_t key, int shift) { return GramHash(key) >> shift; }
bool MayBeGram(const uint64_t* bits, uint32_t hash) { return (bits[hash >> 26] >> ((hash >> 20) & 63)) & 1; }

}  // namespace

bool AnyWithinByPieces(std::u16string_view pattern, std::u16string_view text, int maxDistance,
                       TPieceScratch& scratch) {
  const size_t m = pattern.size();
  const size_t n = text.size();
  if (m == 0 || n == 0 || maxDistance < 0) return false;
  const size_t k = static_cast<size_t>(maxDistance);
  if (m <= k) return true;       // deleting the whole pattern costs m
  if (n + k < m) return false;   // so does every unit the text lacks
  const size_t pieces = k + 1;
  const size_t shortest = m / pieces;
  auto scanWhole = [&] {
    scratch.Masks.Assign(pattern);
    return AnyEndWithin(scratch.Masks, text, maxDistance, scratch.Scan, kKeepAll);
  };
  if (shortest < 2) return scanWhole();

  // Piece i is pattern[i * m / pieces, (i + 1) * m / pieces).
  // 64-bit products: m * pieces can pass 2^32 on a 32-bit build.
  auto pieceOf = [&](size_t p) { return static_cast<size_t>(((uint64_t(p) + 1) * pieces - 1) / m); };
  auto pieceStart = [&](size_t i) { return static_cast<size_t>(uint64_t(i) * m / pieces); };

  // Every gram that lies inside one piece, keyed by its two units.
  int bits = 4;
  while ((size_t(1) << bits) < 2 * m) ++bits;
  const int shift = 32 - bits;
  const uint32_t slotMask = (uint32_t(1) << bits) - 1;
  std::vector<TPieceScratch::TGram>& grams = scratch.Grams;
  // Kept from the last call when it had the same pattern and pieces.
  if (scratch.GramsPieces != pieces || scratch.GramsPattern != pattern) {
    scratch.GramsPieces = 0;  // stays so if an allocation below fails
    grams.assign(size_t(1) << bits, TPieceScratch::TGram{0, 0});
    std::fill(std::begin(scratch.GramBits), std::end(scratch.GramBits), 0);
    size_t count = 0;
    for (size_t i = 0; i < pieces; ++i) {
      const size_t end = pieceStart(i + 1);
      for (size_t p = pieceStart(i); p + 1 < end; ++p) {
        const uint32_t key = GramKey(pattern.data() + p);
        const uint32_t h = GramHash(key);
        uint32_t s = h >> shift;
        while (grams[s].At != 0) s = (s + 1) & slotMask;
        grams[s] = {key, static_cast<uint32_t>(p + 1)};
        scratch.GramBits[h >> 26] |= uint64_t(1) << ((h >> 20) & 63);
        ++count;
      }
    }
    scratch.GramsPattern.assign(pattern);
    scratch.GramsPieces = pieces;
    scratch.GramsCount = count;
  }
  // Text positions of a window whose gram is in the table that an
  // alignment within k keeps at least; 0 or less: no test.
  const int64_t gramsNeeded = static_cast<int64_t>(scratch.GramsCount) - 2 * static_cast<int64_t>(k);
  auto isGram = [&](const char16_t* at) {
    const uint32_t key = GramKey(at);
    for (uint32_t s = GramSlot(key, shift);; s = (s + 1) & slotMask) {
      if (grams[s].At == 0) return false;
      if (grams[s].Key == key) return true;
    }
  };
  // Whether [from, to) has gramsNeeded positions whose gram is in the table.
  auto enoughGrams = [&](size_t from, size_t to) {
    if (gramsNeeded <= 0) return true;
    if (to - from < static_cast<size_t>(gramsNeeded) + 1) return false;
    int64_t missing = gramsNeeded;
    // Positions left that may still count, the last one's gram ending at to.
    int64_t left = static_cast<int64_t>(to - from) - 1;
    for (const char16_t* at = text.data() + from; left >= missing; ++at, --left)
      if (isGram(at) && --missing == 0) return true;
    return false;
  };

  bool masksReady = false;
  // Every alignment within k of the pattern spans at most m + k units.
  const size_t span = m + k;
  size_t budget = 2 * n + 256;
  size_t doneFrom = 0, doneTo = 0;  // the last window scanned
  // Scans the units of [from, to) not yet covered by the previous window;
  // false when the budget is spent.
  auto scanWindow = [&](size_t from, size_t to, bool& hit) {
    if (from >= doneFrom && to <= doneTo) return true;
    // Matches inside the previous window are ruled out; any other that
    // ends past it starts after doneTo - span.
    if (from >= doneFrom && from < doneTo && doneTo > span) from = std::max(from, doneTo - span);
    if (to - from > budget) return false;
    budget -= to - from;
    doneFrom = from;
    doneTo = to;
    if (!enoughGrams(from, to)) {
      hit = false;
      return true;
    }
    if (!masksReady) {
      scratch.Masks.Assign(pattern);
      masksReady = true;
    }
    hit = AnyEndWithin(scratch.Masks, text.substr(from, to - from), maxDistance, scratch.Scan, kKeepAll);
    return true;
  };

  const char16_t* const t = text.data();
  const size_t step = shortest - 1;
  const uint64_t* const gramBits = scratch.GramBits;
  for (size_t j = 0; j + 1 < n; j += step) {
    const uint32_t key = GramKey(t + j);
    const uint32_t hash = GramHash(key);
    if (!MayBeGram(gramBits, hash)) continue;
    for (uint32_t s = hash >> shift;; s = (s + 1) & slotMask) {
      const TPieceScratch::TGram g = grams[s];
      if (g.At == 0) break;
      if (budget == 0) return scanWhole();
      --budget;
      if (g.Key != key) continue;
      const size_t p = g.At - 1;
      const size_t i = pieceOf(p);
      const size_t ps = pieceStart(i);
      const size_t len = pieceStart(i + 1) - ps;
      // The piece would start at text position j - (p - ps).
      if (j < p - ps) continue;
      const size_t at = j - (p - ps);
      if (at + len > n) continue;
      const size_t cost = std::min(len, budget);
      budget -= cost;
      if (std::u16string_view(t + at, len) != pattern.substr(ps, len)) {
        if (budget == 0) return scanWhole();
        continue;
      }
      // Aligned with the piece, the pattern starts at at - ps, give or
      // take k units of insertions and deletions before the piece and
      // after it.
      const int64_t origin = static_cast<int64_t>(at) - static_cast<int64_t>(ps);
      const size_t from = static_cast<size_t>(std::max<int64_t>(0, origin - static_cast<int64_t>(k)));
      const size_t to = static_cast<size_t>(
          std::min<int64_t>(static_cast<int64_t>(n), origin + static_cast<int64_t>(m + k)));
      bool hit = false;
      if (!scanWindow(from, to, hit)) return scanWhole();
      if (hit) return true;
    }
  }
  return false;
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
