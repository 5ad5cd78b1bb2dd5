// Every fetched page is cleaned before it is parsed, so the cleaning
// touches the page as few times as it can: one scan finds every marker the
// removals can use, the removals keep the text they leave as a list of
// pieces of the page instead of copying it, and the collapse of white
// space writes the result once.
#include "search/HtmlClean.h"

#include "platform/Text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// The 64-bit build also has 32-unit loops for processors with AVX2.
#include "platform/WideScan.h"

namespace zqe {

namespace {

constexpr char16_t kUnicodeSeparators[] = {
#include "search/UnicodeWhiteSpace.inc"
};

constexpr size_t npos = std::u16string_view::npos;

constexpr std::u16string_view kCommentOpen = u"<!--";
constexpr std::u16string_view kCommentClose = u"-->";
constexpr std::u16string_view kScriptOpen = u"<script";
constexpr std::u16string_view kScriptClose = u"</script>";
constexpr std::u16string_view kCdataOpen = u"<!--//<![CDATA";
constexpr std::u16string_view kCdataClose = u"//]]>-->";
constexpr std::u16string_view kBodyClose = u"</body";
constexpr size_t kLongestMarker = kCdataOpen.size();

bool HasAt(std::u16string_view s, size_t i, std::u16string_view m) {
  return s.size() - i >= m.size() && std::equal(m.begin(), m.end(), s.begin() + static_cast<std::ptrdiff_t>(i));
}

// Where each marker stands in the page, in page order, and where the
// first "</body" begins when the scan looks for it (it stops there).
struct TSpots {
  std::vector<size_t> CommentOpen, CommentClose, ScriptOpen, ScriptClose, CdataOpen, CdataClose;
  size_t Cut = npos;
};

// i holds "<!", "--", "sc" or, when the scan looks for the body's end,
// "/b": every marker has one of these pairs at a fixed place ("<script"
// and "</script>" share "script"). True at the body's end.
[[gnu::noinline]] bool Classify(std::u16string_view s, size_t i, TSpots& spots) {
  switch (s[i]) {
    case u'<':
      if (HasAt(s, i, kCommentOpen)) {
        spots.CommentOpen.push_back(i);
        if (HasAt(s, i, kCdataOpen)) spots.CdataOpen.push_back(i);
      }
      break;
    case u'-':
      if (HasAt(s, i, kCommentClose)) {
        spots.CommentClose.push_back(i);
        if (i >= 5 && HasAt(s, i - 5, kCdataClose)) spots.CdataClose.push_back(i - 5);
      }
      break;
    case u'/':
      if (i >= 1 && HasAt(s, i - 1, kBodyClose)) {
        spots.Cut = i - 1;
        return true;
      }
      break;
    default:  // "sc"
      if (i >= 1 && HasAt(s, i - 1, kScriptOpen)) {
        spots.ScriptOpen.push_back(i - 1);
      } else if (i >= 2 && HasAt(s, i - 2, kScriptClose)) {
        spots.ScriptClose.push_back(i - 2);
      }
      break;
  }
  return false;
}

#if defined(ZQE_WIDE_SCANS)
// The wide loop marks pairs in a batch of blocks of thirty-two units
// before any is classified: a call inside the loop would take the loop's
// constants out of their registers on every block.
constexpr size_t kBatch = 32;

// Classifies the pairs that masks mark, block b starting at base + 32 * b;
// true at the body's end. Out of line, so that the scan's constants keep
// their registers.
[[gnu::noinline]] bool ClassifyBatch(std::u16string_view s, size_t base, const uint32_t* masks, size_t blocks,
                                     TSpots& spots) {
  for (size_t b = 0; b < blocks; ++b)
    for (uint32_t mask = masks[b]; mask != 0; mask &= mask - 1)
      if (Classify(s, base + 32 * b + static_cast<size_t>(__builtin_ctz(mask)), spots)) return true;
  return false;
}

// Whole blocks of thirty-two from i that leave the unit after each block
// to read.
size_t BlocksFrom(size_t i, size_t n) { return i + 33 <= n ? std::min(kBatch, (n - 33 - i) / 32 + 1) : 0; }

// The pairs' first units have four different low nibbles ("<" 3C, "-" 2D,
// "s" 73, "/" 2F): a byte shuffle indexed by that nibble gives the first
// unit the place must hold and the second unit its pair wants, so two
// compares test every pair at once. Other nibbles get a first unit that
// cannot have them; the shuffle gives 0 for bytes above 0x7F, which no
// narrowed unit with that bit set equals.
template <bool kCut>
[[gnu::target("avx2")]] __m256i PairTable(bool second) {
  char t[16];
  for (int k = 0; k < 16; ++k) t[k] = static_cast<char>(k + 1);
  t[0xC] = second ? '!' : '<';
  t[0xD] = '-';
  t[0x3] = second ? 'c' : 's';
  if (kCut) t[0xF] = second ? 'b' : '/';
  const __m128i lane = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t));
  return _mm256_broadcastsi128_si256(lane);
}

// FindSpots' loop thirty-two units a block; returns where it stopped.
template <bool kCut>
[[gnu::target("avx2")]] size_t FindSpotsWide(std::u16string_view s, TSpots& spots) {
  const char16_t* p = s.data();
  const size_t n = s.size();
  const __m256i firsts = PairTable<kCut>(false), seconds = PairTable<kCut>(true);
  uint32_t masks[kBatch];
  size_t i = 0;
  for (size_t blocks; (blocks = BlocksFrom(i, n)) != 0; i += 32 * blocks) {
    uint32_t any = 0;
    for (size_t b = 0; b < blocks; ++b) {
      const __m256i c = NarrowWide(p + i + 32 * b), d = NarrowWide(p + i + 32 * b + 1);
      const __m256i pairs = _mm256_and_si256(_mm256_cmpeq_epi8(c, _mm256_shuffle_epi8(firsts, c)),
                                             _mm256_cmpeq_epi8(d, _mm256_shuffle_epi8(seconds, c)));
      masks[b] = static_cast<uint32_t>(_mm256_movemask_epi8(pairs));
      any |= masks[b];
    }
    if (any != 0 && ClassifyBatch(s, i, masks, blocks, spots)) return i;
  }
  return i;
}
#endif

// Kept out of line: inlined into its caller it lost its registers to the
// removals around it. With kCut the scan also looks for "</body" and
// stops at the first: the page step cuts the body there, and searching
// for it apart from this scan cost a pass over the page.
template <bool kCut>
[[gnu::noinline]] TSpots FindSpots(std::u16string_view s, bool wide) {
  TSpots spots;
  const char16_t* p = s.data();
  const size_t n = s.size();
  size_t i = 0;
#if defined(ZQE_WIDE_SCANS)
  if (wide) i = FindSpotsWide<kCut>(s, spots);
  if (spots.Cut != npos) return spots;
#else
  (void)wide;
#endif
#if defined(__SSE2__)
  // Sixteen units a step, narrowed to bytes with saturation: a unit above
  // 0xFF becomes 0x00 or 0xFF, and neither is in a marker.
  const __m128i lt = _mm_set1_epi8('<'), dash = _mm_set1_epi8('-'), bang = _mm_set1_epi8('!');
  const __m128i ess = _mm_set1_epi8('s'), cee = _mm_set1_epi8('c');
  const __m128i slash = _mm_set1_epi8('/'), bee = _mm_set1_epi8('b');
  auto pairsAt = [&](size_t at) {
    const auto* here = reinterpret_cast<const __m128i*>(p + at);
    const auto* next = reinterpret_cast<const __m128i*>(p + at + 1);
    const __m128i c = _mm_packus_epi16(_mm_loadu_si128(here), _mm_loadu_si128(here + 1));
    const __m128i d = _mm_packus_epi16(_mm_loadu_si128(next), _mm_loadu_si128(next + 1));
    const __m128i pairs = _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(c, lt), _mm_cmpeq_epi8(d, bang)),
                                                    _mm_and_si128(_mm_cmpeq_epi8(c, dash), _mm_cmpeq_epi8(d, dash))),
                                       _mm_and_si128(_mm_cmpeq_epi8(c, ess), _mm_cmpeq_epi8(d, cee)));
    return kCut ? _mm_or_si128(pairs, _mm_and_si128(_mm_cmpeq_epi8(c, slash), _mm_cmpeq_epi8(d, bee))) : pairs;
  };
  // Two steps a turn with one test for both: most turns find nothing, and
  // the loop's own bookkeeping was a third of its instructions. (Without
  // VEX a compare overwrites its operand, so the constants are copied for
  // every compare anyway: batching as the wide loop does gains nothing.)
  for (; i + 33 <= n; i += 32) {
    const __m128i lo = pairsAt(i), hi = pairsAt(i + 16);
    if (_mm_movemask_epi8(_mm_or_si128(lo, hi)) == 0) continue;
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(lo)) | static_cast<unsigned>(_mm_movemask_epi8(hi)) << 16;
    for (; mask != 0; mask &= mask - 1)
      if (Classify(s, i + static_cast<size_t>(__builtin_ctz(mask)), spots)) return spots;
  }
  for (; i + 17 <= n; i += 16) {
    for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(pairsAt(i))); mask != 0; mask &= mask - 1)
      if (Classify(s, i + static_cast<size_t>(__builtin_ctz(mask)), spots)) return spots;
  }
#endif
  for (; i + 1 < n; ++i) {
    const char16_t c = p[i], d = p[i + 1];
    if ((c == u'<' && d == u'!') || (c == u'-' && d == u'-') || (c == u's' && d == u'c') ||
        (kCut && c == u'/' && d == u'b'))
      if (Classify(s, i, spots)) return spots;
  }
  return spots;
}

struct TPiece {
  size_t At;  // offset in the page
  size_t Len;
};

// Text made of pieces of the page, in order.
class TPieceText {
 public:
  explicit TPieceText(const char16_t* page) : page_(page) {}

  size_t Size() const { return size_; }
  size_t Count() const { return pieces_.size(); }
  const TPiece& Piece(size_t k) const { return pieces_[k]; }
  size_t Start(size_t k) const { return starts_[k]; }
  const char16_t* Page() const { return page_; }

  void Append(size_t at, size_t len) {
    if (len == 0) return;
    if (!pieces_.empty() && pieces_.back().At + pieces_.back().Len == at) {
      pieces_.back().Len += len;
    } else {
      pieces_.push_back({at, len});
      starts_.push_back(size_);
    }
    size_ += len;
  }

  // Appends the units [pos, pos + count) of other, a text of the same page.
  void AppendFrom(const TPieceText& other, size_t pos, size_t count) {
    for (size_t k = count ? other.PieceAt(pos) : 0; count > 0; ++k) {
      const size_t off = pos - other.starts_[k];
      const size_t take = std::min(other.pieces_[k].Len - off, count);
      Append(other.pieces_[k].At + off, take);
      pos += take;
      count -= take;
    }
  }

  void Truncate(size_t size) {
    while (!pieces_.empty() && starts_.back() >= size) {
      pieces_.pop_back();
      starts_.pop_back();
    }
    if (!pieces_.empty()) pieces_.back().Len = size - starts_.back();
    size_ = size;
  }

  // The piece that holds pos, which is below Size().
  size_t PieceAt(size_t pos) const {
    return static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), pos) - starts_.begin()) - 1;
  }

  // Copies up to count units from pos; returns how many there were.
  size_t Copy(size_t pos, size_t count, char16_t* out) const {
    if (pos >= size_) return 0;
    count = std::min(count, size_ - pos);
    for (size_t k = PieceAt(pos), done = 0; done < count; ++k) {
      const size_t off = pos + done - starts_[k];
      const size_t take = std::min(pieces_[k].Len - off, count - done);
      std::copy_n(page_ + pieces_[k].At + off, take, out + done);
      done += take;
    }
    return count;
  }

 private:
  const char16_t* page_;
  std::vector<TPiece> pieces_;
  std::vector<size_t> starts_;  // where each piece begins in the text
  size_t size_ = 0;
};

// First occurrence of m in text at or after from, or npos. Inside a piece
// the page's own spots of m answer; across a join the units are compared.
size_t FindIn(const TPieceText& text, std::u16string_view m, const std::vector<size_t>& spots, size_t from) {
  if (from >= text.Size() || m.size() > text.Size() - from) return npos;
  for (size_t k = text.PieceAt(from); k < text.Count(); ++k) {
    const TPiece& piece = text.Piece(k);
    const size_t start = text.Start(k);
    const size_t lo = std::max(from, start) - start;
    if (piece.Len >= m.size() && lo <= piece.Len - m.size()) {
      const auto it = std::lower_bound(spots.begin(), spots.end(), piece.At + lo);
      if (it != spots.end() && *it <= piece.At + piece.Len - m.size()) return start + (*it - piece.At);
    }
    if (k + 1 == text.Count()) break;
    // An occurrence that begins in the piece's last units and ends past it:
    // the piece's end must be a prefix of m, which most joins' ends fail
    // at their first or second unit, before anything is copied.
    const size_t end = start + piece.Len;
    const size_t ws = std::max(start + lo, end - std::min(piece.Len, m.size() - 1));
    const char16_t* const pieceEnd = text.Page() + piece.At + piece.Len;
    for (size_t q = ws; q < end; ++q) {
      const char16_t* const at = pieceEnd - (end - q);
      const size_t have = end - q;  // below m.size()
      if (*at != m[0] || !std::equal(at, pieceEnd, m.data())) continue;
      char16_t rest[kLongestMarker];
      const size_t need = m.size() - have;
      if (text.Copy(end, need, rest) == need && std::equal(rest, rest + need, m.data() + have)) return q;
    }
  }
  return npos;
}

// Removes every open...close span the way "find the first opener and the
// first closer from the start, delete, search again from the start" does,
// in one forward pass.
//
// Invariant: out (the kept prefix) never holds a whole opener or closer,
// so after a deletion the next first marker either straddles the join
// (starts in out's last few units) or lies in the unread rest of the
// input. Searches in the rest only move forward, so the pass is linear in
// the input.
TPieceText RemoveSpans(const TPieceText& in, std::u16string_view open, const std::vector<size_t>& openSpots,
                       std::u16string_view close, const std::vector<size_t>& closeSpots) {
  TPieceText out(in.Page());
  size_t rest = 0;  // start of the unread input
  size_t nextOpen = FindIn(in, open, openSpots, 0);
  size_t nextClose = FindIn(in, close, closeSpots, 0);

  // First occurrence of m in out + in[rest..], in those combined
  // coordinates, or npos.
  auto findFirst = [&](std::u16string_view m, const std::vector<size_t>& spots, size_t& cached) -> size_t {
    const size_t tail = std::min(out.Size(), m.size() - 1);
    if (tail > 0) {
      char16_t window[2 * kLongestMarker];
      out.Copy(out.Size() - tail, tail, window);
      const size_t got = in.Copy(rest, m.size() - 1, window + tail);
      const size_t p = std::u16string_view(window, tail + got).find(m);
      if (p != npos && p < tail) return out.Size() - tail + p;
    }
    if (cached != npos && cached < rest) cached = FindIn(in, m, spots, rest);
    if (cached == npos) return npos;
    return out.Size() + (cached - rest);
  };

  for (;;) {
    const size_t o = findFirst(open, openSpots, nextOpen);
    const size_t cStart = findFirst(close, closeSpots, nextClose);
    if (o == npos || cStart == npos) break;
    const size_t c = cStart + close.size() - 1;  // last unit of the closer
    if (c <= o) break;
    // Delete o..c of the combined text. The closer cannot end inside out
    // (out holds no whole closer), so c lies in the unread input.
    const size_t outLen = out.Size();
    if (o < outLen) {
      out.Truncate(o);
    } else {
      out.AppendFrom(in, rest, o - outLen);
    }
    rest = rest + (c - outLen) + 1;
  }
  if (rest < in.Size()) out.AppendFrom(in, rest, in.Size() - rest);
  return out;
}

// A cheap superset of IsCollapsibleWhiteSpace for the unit-by-unit path.
constexpr bool MayBeCollapsible(char16_t c) { return c <= 0x20 || (c >= 0x80 && c <= 0x3000); }
static_assert(std::all_of(std::begin(kUnicodeSeparators), std::end(kUnicodeSeparators), MayBeCollapsible),
              "a separator outside the quick test would never be collapsed");

// Writes the collapse of the texts it is given, one after the other, into
// out: a run of white space becomes one space, and none at the start.
class TCollapser {
 public:
  TCollapser(std::u16string& out, bool wide) : out_(out), wide_(wide) {}

  // Whether a U+0000 went through: exact, since none is ever dropped.
  bool SawNul() const { return nul_; }

  void Add(const char16_t* in, size_t n) {
    // A slice at a time through a buffer, appended: sizing the result up
    // front would first fill it with zeros, a pass as costly as this one.
    while (n > 0) {
      const size_t len = std::min(n, kSlice);
      out_.append(buf_, CollapseSlice(in, len));
      in += len;
      n -= len;
    }
  }

 private:
  static constexpr size_t kSlice = 1024;

  // One unit by the rule; maybe is false only for units that cannot be
  // white space.
  static void Step(char16_t c, bool maybe, char16_t* o, size_t& j, bool& afterSpace) {
    const bool space = maybe && IsCollapsibleWhiteSpace(c);
    o[j] = space ? u' ' : c;
    j += space && afterSpace ? 0 : 1;
    afterSpace = space;
  }

  // Appends the units of block (kWidth of them, white space already made
  // spaces) whose bit in keep is set, a run of kept units at a time. Each
  // run is copied as a whole block width: o has room for that past j, and
  // block has kWidth units of slack.
  template <unsigned kWidth>
  static void KeepRuns(const char16_t* block, uint32_t keep, char16_t* o, size_t& j) {
    while (keep != 0) {
      const unsigned start = static_cast<unsigned>(__builtin_ctz(keep));
      const uint64_t from = static_cast<uint64_t>(keep) >> start;
      const unsigned len = static_cast<unsigned>(__builtin_ctzll(~from));
      std::memcpy(o + j, block + start, kWidth * sizeof(char16_t));
      j += len;
      keep &= ~static_cast<uint32_t>(((uint64_t{1} << len) - 1) << start);
    }
  }

#if defined(__SSE2__)
  // Appends a block of sixteen units (lo, hi) without the units in drop.
  static void PutBlock(__m128i lo, __m128i hi, unsigned drop, char16_t* o, size_t& j) {
    if (drop == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + j), lo);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + j + 8), hi);
      j += 16;
      return;
    }
    alignas(16) char16_t block[32];
    _mm_store_si128(reinterpret_cast<__m128i*>(block), lo);
    _mm_store_si128(reinterpret_cast<__m128i*>(block + 8), hi);
    KeepRuns<16>(block, ~drop & 0xFFFFu, o, j);
  }
#endif
#if defined(ZQE_WIDE_SCANS)
  // The same for thirty-two units.
  [[gnu::target("avx2")]] static void PutBlock(__m256i lo, __m256i hi, unsigned drop, char16_t* o, size_t& j) {
    if (drop == 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + j), lo);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + j + 16), hi);
      j += 32;
      return;
    }
    alignas(32) char16_t block[64];
    _mm256_store_si256(reinterpret_cast<__m256i*>(block), lo);
    _mm256_store_si256(reinterpret_cast<__m256i*>(block + 16), hi);
    KeepRuns<32>(block, ~drop, o, j);
  }
#endif

#if defined(ZQE_WIDE_SCANS)
  // The SSE2 loop below at twice the width; returns where it stopped.
  [[gnu::target("avx2")]] static size_t CollapseWide(const char16_t* in, size_t n, char16_t* o, size_t& jOut,
                                                     bool& afterOut, bool& nulOut) {
    // Kept in registers: a vector store may alias anything, so writing
    // through the references would reload them after every block.
    size_t j = jOut;
    bool afterSpace = afterOut;
    bool nul = nulOut;
    const __m256i blank = _mm256_set1_epi16(0x20);
    const __m256i blankByte = _mm256_set1_epi8(0x20);
    const __m256i nineByte = _mm256_set1_epi8(9), fourByte = _mm256_set1_epi8(4);
    const __m256i midShift = _mm256_set1_epi16(0x7F80), midBound = _mm256_set1_epi16(short(0xAF81));
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 16));
      const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packs_epi16(a, b), 0xD8);
      const unsigned low = static_cast<unsigned>(
          _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_min_epu8(bytes, blankByte), bytes)));
      const unsigned mid = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_permute4x64_epi64(
          _mm256_packs_epi16(_mm256_cmpgt_epi16(midBound, _mm256_add_epi16(a, midShift)),
                             _mm256_cmpgt_epi16(midBound, _mm256_add_epi16(b, midShift))),
          0xD8)));
      if ((low | mid) == 0) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + j), a);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + j + 16), b);
        j += 32;
        afterSpace = false;
        continue;
      }
      if (mid == 0) {
        const __m256i blanks = _mm256_cmpeq_epi8(bytes, blankByte);
        const unsigned blankBits = static_cast<unsigned>(_mm256_movemask_epi8(blanks));
        if (blankBits == low) {
          const unsigned drop = blankBits & ((blankBits << 1) | (afterSpace ? 1u : 0u));
          PutBlock(a, b, drop, o, j);
          afterSpace = (blankBits >> 31) & 1;
          continue;
        }
        nul |= _mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, _mm256_setzero_si256())) != 0;
        const __m256i tab = _mm256_sub_epi8(bytes, nineByte);
        const __m256i spaces = _mm256_or_si256(blanks, _mm256_cmpeq_epi8(_mm256_min_epu8(tab, fourByte), tab));
        const unsigned space = static_cast<unsigned>(_mm256_movemask_epi8(spaces));
        // The spaces that continue a run are dropped.
        const unsigned drop = space & ((space << 1) | (afterSpace ? 1u : 0u));
        const __m256i sa = _mm256_cvtepi8_epi16(_mm256_castsi256_si128(spaces));
        const __m256i sb = _mm256_cvtepi8_epi16(_mm256_extracti128_si256(spaces, 1));
        const __m256i ca = _mm256_blendv_epi8(a, blank, sa), cb = _mm256_blendv_epi8(b, blank, sb);
        PutBlock(ca, cb, drop, o, j);
        afterSpace = (space >> 31) & 1;
        continue;
      }
      nul |= _mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, _mm256_setzero_si256())) != 0;
      const unsigned maybe = low | mid;
      for (unsigned q = 0; q < 32; ++q) Step(in[i + q], (maybe >> q) & 1, o, j, afterSpace);
    }
    jOut = j;
    afterOut = afterSpace;
    nulOut = nul;
    return i;
  }
#endif

#if defined(__SSE2__)
  // Sixteen units a step; starts at i and returns where it stopped.
  static size_t CollapseNarrow(const char16_t* in, size_t n, size_t i, char16_t* o, size_t& jOut, bool& afterOut,
                               bool& nulOut) {
    size_t j = jOut;  // in registers, as in CollapseWide
    bool afterSpace = afterOut;
    bool nul = nulOut;
    const __m128i blank = _mm_set1_epi16(0x20);
    const __m128i blankByte = _mm_set1_epi8(0x20);
    const __m128i nineByte = _mm_set1_epi8(9), fourByte = _mm_set1_epi8(4);
    const __m128i midShift = _mm_set1_epi16(0x7F80), midBound = _mm_set1_epi16(short(0xAF81));
    for (; i + 16 <= n; i += 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 8));
      // A byte per unit: ASCII as itself, any other unit 0x7F or 0x80, so
      // that the ASCII tests below take sixteen units at once.
      const __m128i bytes = _mm_packs_epi16(a, b);
      const unsigned low =  // c <= 0x20
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(bytes, blankByte), bytes)));
      // 0x80 <= c <= 0x3000, where the other separators are: c - 0x80 < 0x2F81
      // as unsigned, through a signed compare of c + 0x8000 - 0x80.
      const unsigned mid = static_cast<unsigned>(_mm_movemask_epi8(
          _mm_packs_epi16(_mm_cmplt_epi16(_mm_add_epi16(a, midShift), midBound),
                          _mm_cmplt_epi16(_mm_add_epi16(b, midShift), midBound))));
      if ((low | mid) == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + j), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + j + 8), b);
        j += 16;
        afterSpace = false;
        continue;
      }
      if (mid == 0) {
        const __m128i blanks = _mm_cmpeq_epi8(bytes, blankByte);
        const unsigned blankBits = static_cast<unsigned>(_mm_movemask_epi8(blanks));
        if (blankBits == low) {
          // The usual block: its only low units are U+0020. Single ones
          // keep the block whole; a run loses all but its first.
          const unsigned drop = blankBits & ((blankBits << 1) | (afterSpace ? 1u : 0u));
          PutBlock(a, b, drop, o, j);
          afterSpace = (blankBits >> 15) & 1;
          continue;
        }
        // Only units below U+0020 other than white space can be U+0000.
        nul |= _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128())) != 0;
        // ASCII white space alone, told exactly: U+0020 and U+0009..U+000D.
        const __m128i tab = _mm_sub_epi8(bytes, nineByte);
        const __m128i spaces = _mm_or_si128(blanks, _mm_cmpeq_epi8(_mm_min_epu8(tab, fourByte), tab));
        const unsigned space = static_cast<unsigned>(_mm_movemask_epi8(spaces));
        // The spaces that continue a run are dropped.
        const unsigned drop = space & ((space << 1) | (afterSpace ? 1u : 0u));
        const __m128i sa = _mm_unpacklo_epi8(spaces, spaces), sb = _mm_unpackhi_epi8(spaces, spaces);
        const __m128i ca = _mm_or_si128(_mm_andnot_si128(sa, a), _mm_and_si128(sa, blank));
        const __m128i cb = _mm_or_si128(_mm_andnot_si128(sb, b), _mm_and_si128(sb, blank));
        PutBlock(ca, cb, drop, o, j);
        afterSpace = (space >> 15) & 1;
        continue;
      }
      nul |= _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128())) != 0;
      const unsigned maybe = low | mid;
      for (unsigned q = 0; q < 16; ++q) Step(in[i + q], (maybe >> q) & 1, o, j, afterSpace);
    }
    jOut = j;
    afterOut = afterSpace;
    nulOut = nul;
    return i;
  }
#endif

  size_t CollapseSlice(const char16_t* in, size_t n) {
    char16_t* const o = buf_;
    size_t i = 0, j = 0;
    bool afterSpace = afterSpace_, nul = nul_;
#if defined(ZQE_WIDE_SCANS)
    if (wide_) i = CollapseWide(in, n, o, j, afterSpace, nul);
#endif
#if defined(__SSE2__)
    i = CollapseNarrow(in, n, i, o, j, afterSpace, nul);
#endif
    for (; i < n; ++i) {
      nul |= in[i] == 0;
      Step(in[i], MayBeCollapsible(in[i]), o, j, afterSpace);
    }
    afterSpace_ = afterSpace;
    nul_ = nul;
    return j;
  }

  std::u16string& out_;
  const bool wide_;
  bool afterSpace_ = true;
  bool nul_ = false;
  char16_t buf_[kSlice + 32];  // a block's width of room past the slice for KeepRuns
};

}  // namespace

bool IsCollapsibleWhiteSpace(char16_t c) {
  if ((c >= 0x0009 && c <= 0x000D) || c == 0x0020 || c == 0x0085 || c == 0x00A0) return true;
  if (c < 0x1680) return false;
  return std::binary_search(std::begin(kUnicodeSeparators), std::end(kUnicodeSeparators), c);
}

namespace clean_detail {

bool HasWidePath() { return HasWideScans(); }

std::u16string CollapseWhiteSpace(std::u16string_view s, bool wide) {
  std::u16string out;
  out.reserve(s.size());
  TCollapser(out, wide && HasWidePath()).Add(s.data(), s.size());
  return out;
}

namespace {

template <bool kCut>
TCleanText Clean(std::u16string_view Html, bool wide) {
  wide = wide && HasWidePath();
  const TSpots spots = FindSpots<kCut>(Html, wide);
  if (kCut && spots.Cut == npos) return {};
  TPieceText page(Html.data());
  // Every marker the scan saw lies before the cut: none holds the "</" of
  // "</body" with a "b" after it.
  page.Append(0, kCut ? spots.Cut : Html.size());
  const TPieceText a = RemoveSpans(page, kCommentOpen, spots.CommentOpen, kCommentClose, spots.CommentClose);
  const TPieceText b = RemoveSpans(a, kScriptOpen, spots.ScriptOpen, kScriptClose, spots.ScriptClose);
  const TPieceText c = RemoveSpans(b, kCdataOpen, spots.CdataOpen, kCdataClose, spots.CdataClose);
  TCleanText out;
  out.Text.reserve(c.Size());
  TCollapser collapse(out.Text, wide);
  for (size_t k = 0; k < c.Count(); ++k) collapse.Add(Html.data() + c.Piece(k).At, c.Piece(k).Len);
  out.HoldsNul = collapse.SawNul();
  out.Cut = kCut;
  return out;
}

}  // namespace

TCleanText CleanHtmlPage(std::u16string_view Html, bool wide) { return Clean<false>(Html, wide); }

TCleanText CleanHtmlBody(std::u16string_view Html, bool wide) { return Clean<true>(Html, wide); }

std::u16string CleanHtmlText(std::u16string_view Html, bool wide) { return CleanHtmlPage(Html, wide).Text; }

}  // namespace clean_detail

std::u16string CollapseWhiteSpace(std::u16string_view s) { return clean_detail::CollapseWhiteSpace(s, true); }

std::u16string CleanHtmlText(std::u16string_view Html) { return clean_detail::CleanHtmlText(Html, true); }

TCleanText CleanHtmlPage(std::u16string_view Html) { return clean_detail::CleanHtmlPage(Html, true); }

TCleanText CleanHtmlBody(std::u16string_view Html) { return clean_detail::CleanHtmlBody(Html, true); }

}  // namespace zqe
