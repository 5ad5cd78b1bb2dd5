// Internal to the parser: skipping runs of uninteresting UTF-16 units.
// Most of a page is text, script and attribute values between the few
// characters the tokenizer stops at, so these skips dominate the parse;
// with SSE2 (both builds) they look at eight to thirty-two units per step.
// Builds without it use the scalar loop, with the same results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zqe::html {

// Position of the first unit in [i, n) equal to one of Stops, or n.
template <char16_t... Stops>
inline size_t FindAny(const char16_t* s, size_t i, size_t n) {
#if defined(__SSE2__)
  if constexpr (((Stops > 0 && Stops < 0x80) && ...)) {
    // Sixteen units a step, narrowed to bytes with saturation: any unit
    // outside ASCII becomes 0x00 or 0xFF, neither of them a stop.
    for (; i + 16 <= n; i += 16) {
      const __m128i v = _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)),
                                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 8)));
      const __m128i hit = (_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(Stops))) | ...);
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
      if (mask) return i + static_cast<size_t>(__builtin_ctz(mask));
    }
  } else {
    // NUL or units outside ASCII: thirty-two units a step, each eight
    // units' comparisons packed to bytes with signed saturation (a match,
    // -1, stays -1), one test per step.
    auto eq = [s](size_t at) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at));
      return (_mm_cmpeq_epi16(v, _mm_set1_epi16(static_cast<short>(Stops))) | ...);
    };
    for (; i + 32 <= n; i += 32) {
      const __m128i lo = _mm_packs_epi16(eq(i), eq(i + 8));
      const __m128i hi = _mm_packs_epi16(eq(i + 16), eq(i + 24));
      if (_mm_movemask_epi8(_mm_or_si128(lo, hi))) {
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(lo)) |
                              static_cast<unsigned>(_mm_movemask_epi8(hi)) << 16;
        return i + static_cast<size_t>(__builtin_ctz(mask));
      }
    }
  }
  for (; i + 8 <= n; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const __m128i hit = (_mm_cmpeq_epi16(v, _mm_set1_epi16(static_cast<short>(Stops))) | ...);
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask) return i + static_cast<size_t>(__builtin_ctz(mask)) / 2;
  }
#endif
  for (; i < n; ++i) {
    const char16_t c = s[i];
    if (((c == Stops) || ...)) return i;
  }
  return n;
}

// Position of the first ">" in [i, n) outside double quotes, or n. Most
// tags close before their first quote and take one FindAny; a tag with
// quoted values is read sixteen units a step from its first quote, each
// step telling the quoted units by the parity of the quotes before them.
inline size_t FindUnquotedTagEnd(const char16_t* s, size_t i, size_t n) {
  i = FindAny<u'"', u'>'>(s, i, n);
  if (i == n || s[i] == u'>') return i;
  bool quoted = false;  // inside quotes before unit i
#if defined(__SSE2__)
  unsigned carry = 0;  // all ones when quoted: no branch on it per step
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)),
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 8)));
    const unsigned quotes = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('"'))));
    const unsigned ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('>'))));
    // Bit k: an odd number of quotes at or before unit k of the step.
    unsigned inside = quotes;
    inside ^= inside << 1;
    inside ^= inside << 2;
    inside ^= inside << 4;
    inside ^= inside << 8;
    inside = (inside ^ carry) & 0xFFFFu;
    if (const unsigned open = ends & ~inside) return i + static_cast<size_t>(__builtin_ctz(open));
    carry = 0u - ((inside >> 15) & 1u);
  }
  quoted = carry != 0;
#endif
  for (; i < n; ++i) {
    if (s[i] == u'"') quoted = !quoted;
    else if (s[i] == u'>' && !quoted) return i;
  }
  return n;
}

// Copies n units; a plain loop here, because a library copy of a whole page
// may use a string instruction that costs one step per byte.
inline void CopyUnits(char16_t* to, const char16_t* from, size_t n) {
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 8 <= n; i += 8)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
#endif
  for (; i < n; ++i) to[i] = from[i];
}

// Appends the position of every line feed of s[0, n) to feeds.
inline void FindLineFeeds(const char16_t* s, size_t n, std::vector<size_t>& feeds) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i feed = _mm_set1_epi16(u'\n');
  for (; i + 16 <= n; i += 16) {
    const __m128i a = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)), feed);
    const __m128i b = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 8)), feed);
    for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b))); mask != 0; mask &= mask - 1)
      feeds.push_back(i + static_cast<size_t>(__builtin_ctz(mask)));
  }
#endif
  for (; i < n; ++i)
    if (s[i] == u'\n') feeds.push_back(i);
}

}  // namespace zqe::html
