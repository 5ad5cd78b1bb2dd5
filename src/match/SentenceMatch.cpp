#include "match/SentenceMatch.h"

#include <cstdint>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "match/EditScan.h"
#include "platform/Text.h"
#include "platform/WideScan.h"

namespace zqe {

namespace {

constexpr auto kKeepAll = [](char16_t) { return true; };

// A plain search is fastest on real snippets, but a text such as "aaaa..."
// against "aa...ab" makes it quadratic; past a budget of unit comparisons
// the bit-parallel scan with no edits allowed answers in bounded time.
bool ContainsExact(std::u16string_view text, std::u16string_view pattern,
                   match_detail::TPatternMasks& masks, match_detail::TBandedScan& scan) {
  const size_t n = text.size();
  const size_t m = pattern.size();
  if (m == 0 || m > n) return false;
  size_t budget = 4 * n + 256;
  const char16_t first = pattern[0];
  const char16_t* p = text.data();
  const char16_t* const last = text.data() + (n - m);
  while (p <= last) {
    p = std::char_traits<char16_t>::find(p, static_cast<size_t>(last - p) + 1, first);
    if (p == nullptr) return false;
    size_t i = 1;
    while (i < m && p[i] == pattern[i]) ++i;
    if (i == m) return true;
    if (i >= budget) {
      masks.Assign(pattern);
      return match_detail::AnyEndWithin(masks, text, 0, scan, kKeepAll);
    }
    budget -= i;
    ++p;
  }
  return false;
}

#if defined(ZQE_WIDE_SCANS)
// For each set of kept units of eight (bit q: unit q), the byte shuffle
// that gathers them, in order, to the front.
struct TGatherTable {
  uint8_t Control[256][16];
};

constexpr TGatherTable MakeGatherTable() {
  TGatherTable t{};
  for (unsigned mask = 0; mask < 256; ++mask) {
    unsigned k = 0;
    for (unsigned q = 0; q < 8; ++q) {
      if (((mask >> q) & 1) == 0) continue;
      t.Control[mask][2 * k] = static_cast<uint8_t>(2 * q);
      t.Control[mask][2 * k + 1] = static_cast<uint8_t>(2 * q + 1);
      ++k;
    }
    for (; k < 8; ++k) t.Control[mask][2 * k] = t.Control[mask][2 * k + 1] = 0x80;
  }
  return t;
}

alignas(64) constexpr TGatherTable kGather = MakeGatherTable();

// c - base < count as unsigned 16-bit numbers, as in KeepForMatch.
[[gnu::target("avx2")]] inline __m256i InRangeWide(__m256i c, short base, short count) {
  const __m256i offset = _mm256_sub_epi16(c, _mm256_set1_epi16(base));
  return _mm256_cmpeq_epi16(_mm256_subs_epu16(offset, _mm256_set1_epi16(static_cast<short>(count - 1))),
                            _mm256_setzero_si256());
}

// KeepForMatch's loop sixteen units a step: snippets mix ideographs with
// punctuation every few units, so most steps keep some units and drop
// others, and a shuffle from the table moves each half's kept units in
// one store where the narrow loop went unit by unit. Returns where it
// stopped; out has room for every unit read.
[[gnu::target("avx2,popcnt")]] size_t KeepForMatchWide(const char16_t* in, size_t n, char16_t* out, size_t& jOut) {
  size_t j = jOut;
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    const __m256i kept = _mm256_or_si256(
        _mm256_or_si256(InRangeWide(c, u'0', 10), InRangeWide(_mm256_or_si256(c, _mm256_set1_epi16(0x20)), u'a', 26)),
        InRangeWide(c, 0x4E00, 0x9FA5 - 0x4E00 + 1));
    // A byte per unit: bits 0-7 the first half, 8-15 the second.
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_packs_epi16(_mm256_castsi256_si128(kept), _mm256_extracti128_si256(kept, 1))));
    const unsigned lo = mask & 0xFFu, hi = mask >> 8;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j),
                     _mm_shuffle_epi8(_mm256_castsi256_si128(c),
                                      _mm_load_si128(reinterpret_cast<const __m128i*>(kGather.Control[lo]))));
    j += static_cast<size_t>(__builtin_popcount(lo));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j),
                     _mm_shuffle_epi8(_mm256_extracti128_si256(c, 1),
                                      _mm_load_si128(reinterpret_cast<const __m128i*>(kGather.Control[hi]))));
    j += static_cast<size_t>(__builtin_popcount(hi));
  }
  jOut = j;
  return i;
}
#endif

// Writes the units of s that IsKeptForMatch accepts to out, which has room
// for all of s, and returns their number. Entries are mostly ideographs
// with a little punctuation, so eight units at a time are usually all
// kept or all dropped and move with one store or none.
size_t KeepForMatch(std::u16string_view s, char16_t* out, bool wide) {
  const char16_t* in = s.data();
  const size_t n = s.size();
  size_t i = 0, j = 0;
#if defined(ZQE_WIDE_SCANS)
  if (wide) i = KeepForMatchWide(in, n, out, j);
#else
  (void)wide;
#endif
#if defined(__SSE2__)
  // c - base < count as unsigned 16-bit numbers: the saturating
  // subtraction of count - 1 leaves zero exactly then.
  auto inRange = [](__m128i c, short base, short count) {
    const __m128i offset = _mm_sub_epi16(c, _mm_set1_epi16(base));
    return _mm_cmpeq_epi16(_mm_subs_epu16(offset, _mm_set1_epi16(static_cast<short>(count - 1))),
                           _mm_setzero_si128());
  };
  for (; i + 8 <= n; i += 8) {
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    // Setting bit 5 folds A-Z onto a-z and moves nothing else into a-z.
    const __m128i kept = _mm_or_si128(
        _mm_or_si128(inRange(c, u'0', 10), inRange(_mm_or_si128(c, _mm_set1_epi16(0x20)), u'a', 26)),
        inRange(c, 0x4E00, 0x9FA5 - 0x4E00 + 1));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(kept));
    if (mask == 0xFFFFu) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), c);
      j += 8;
    } else if (mask != 0) {
      for (size_t q = 0; q < 8; ++q) {
        out[j] = in[i + q];
        j += (mask >> (2 * q)) & 1;
      }
    }
  }
#endif
  for (; i < n; ++i) {
    out[j] = in[i];
    j += IsKeptForMatch(in[i]) ? 1 : 0;
  }
  return j;
}

}  // namespace

std::u16string NormalizeForMatch(std::u16string_view S) { return match_detail::NormalizeForMatch(S, true); }

std::u16string match_detail::NormalizeForMatch(std::u16string_view S, bool wide) {
  std::u16string out(S.size(), u'\0');
  out.resize(KeepForMatch(S, out.data(), wide && HasWideScans()));
  return out;
}

namespace {

// The test of one text against a sentence whose normalised form (unless
// strict) is at hand; text is normalised into textBuffer.
bool MatchPrepared(std::u16string_view sentence, std::u16string_view pattern, bool strict,
                   std::u16string_view text, std::u16string& textBuffer, match_detail::TPieceScratch& scratch) {
  if (sentence.empty() || text.empty()) return false;
  // An exact occurrence is one within no edits, of the normalised forms
  // too, so the approximate test alone decides, except for a sentence
  // that normalises to nothing: that one only the exact test can find.
  if (strict) return match_detail::AnyWithinByPieces(sentence, text, kSentenceMaxDistance, scratch);
  if (pattern.empty()) return ContainsExact(text, sentence, scratch.Masks, scratch.Scan);
  textBuffer.resize(text.size());
  textBuffer.resize(KeepForMatch(text, textBuffer.data(), HasWideScans()));
  return match_detail::AnyWithinByPieces(pattern, textBuffer, kSentenceMaxDistance, scratch);
}

}  // namespace

struct TSentenceMatcher::TState {
  std::u16string Sentence;
  std::u16string Pattern;  // the normalised sentence, unless strict
  std::u16string Text;     // the normalised text, its buffer reused
  bool Strict;
  match_detail::TPieceScratch Scratch;
};

TSentenceMatcher::TSentenceMatcher(std::u16string_view Sentence, bool StrictMatch)
    : FState(std::make_unique<TState>()) {
  FState->Sentence.assign(Sentence);
  FState->Strict = StrictMatch;
  if (!StrictMatch) FState->Pattern = NormalizeForMatch(Sentence);
}

TSentenceMatcher::~TSentenceMatcher() = default;

bool TSentenceMatcher::Matches(std::u16string_view Text) {
  TState& s = *FState;
  return MatchPrepared(s.Sentence, s.Pattern, s.Strict, Text, s.Text, s.Scratch);
}

bool MatchSentence(std::u16string_view Sentence, std::u16string_view Text, bool StrictMatch) {
  if (Sentence.empty() || Text.empty()) return false;
  match_detail::TPieceScratch scratch;
  std::u16string textBuffer;
  const std::u16string pattern = StrictMatch ? std::u16string() : NormalizeForMatch(Sentence);
  return MatchPrepared(Sentence, pattern, StrictMatch, Text, textBuffer, scratch);
}

}  // namespace zqe
