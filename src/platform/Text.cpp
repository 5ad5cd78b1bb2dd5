#include "platform/Text.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/FieldText.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include "platform/WideScan.h"

namespace zqe {

namespace {

// Decodes the one sequence that starts with the non-ASCII byte s[i] into
// out[0] (and out[1] for a surrogate pair); returns the units written and
// advances i past the sequence or past its maximal invalid subpart.
inline uint32_t LoadLittleEndian32(const unsigned char* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  uint32_t w;
  std::memcpy(&w, p, 4);
  return w;
#else
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
#endif
}

size_t DecodeSequence(const unsigned char* s, size_t n, size_t& i, char16_t* out) {
  const unsigned char c = s[i];
  uint32_t cp = 0;
  size_t need = 0;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    need = 1; cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    need = 2; cp = c & 0x0F;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;  // no encoded surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    need = 3; cp = c & 0x07;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    out[0] = 0xFFFD;
    ++i;
    return 1;
  }
  size_t j = i + 1;
  for (size_t k = 0; k < need; ++k, ++j) {
    const unsigned char l = (k == 0) ? lo : 0x80;
    const unsigned char h = (k == 0) ? hi : 0xBF;
    if (j >= n || s[j] < l || s[j] > h) {
      out[0] = 0xFFFD;
      i = j;  // skip the maximal invalid subpart
      return 1;
    }
    cp = (cp << 6) | (s[j] & 0x3F);
  }
  i = j;
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out[0] = static_cast<char16_t>(0xD800 + (cp >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    return 2;
  }
  out[0] = static_cast<char16_t>(cp);
  return 1;
}

#if defined(__SSE2__)
// Runs of three-byte (CJK) text four characters a step, from i while i is
// below end: twelve bytes are checked at once (a lead byte E1..EC, EE or EF
// and two continuation bytes each; E0 and ED, whose second byte has a
// narrower range, end the step for the general path) and widened in 32-bit
// lanes. Reads sixteen bytes at a time, so it stops sixteen short of n.
// Returns where it stopped; o grows by the units written.
inline size_t DecodeThreeByteBlocks(const unsigned char* s, size_t i, size_t end, size_t n, char16_t* out,
                                    size_t& o) {
  const __m128i shapeMask = _mm_setr_epi8(char(0xF0), char(0xC0), char(0xC0), char(0xF0), char(0xC0), char(0xC0),
                                          char(0xF0), char(0xC0), char(0xC0), char(0xF0), char(0xC0), char(0xC0), 0,
                                          0, 0, 0);
  const __m128i shape = _mm_setr_epi8(char(0xE0), char(0x80), char(0x80), char(0xE0), char(0x80), char(0x80),
                                      char(0xE0), char(0x80), char(0x80), char(0xE0), char(0x80), char(0x80), 0, 0,
                                      0, 0);
  const __m128i e0 = _mm_set1_epi8(char(0xE0)), ed = _mm_set1_epi8(char(0xED));
  const __m128i low4 = _mm_set1_epi32(0x0F), mid6 = _mm_set1_epi32(0x0FC0), low6 = _mm_set1_epi32(0x3F);
  const __m128i bias32 = _mm_set1_epi32(0x8000), bias16 = _mm_set1_epi16(short(0x8000));
  constexpr unsigned kLeads = 1u << 0 | 1u << 3 | 1u << 6 | 1u << 9;
  while (i < end && n - i >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const unsigned fits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, shapeMask), shape)));
    const unsigned narrow =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, e0), _mm_cmpeq_epi8(v, ed))));
    if ((fits & 0x0FFFu) != 0x0FFFu || (narrow & kLeads) != 0) break;
    // Lane k holds the bytes of character k (and one byte past it).
    const __m128i w = _mm_unpacklo_epi64(
        _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(LoadLittleEndian32(s + i))),
                           _mm_cvtsi32_si128(static_cast<int>(LoadLittleEndian32(s + i + 3)))),
        _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(LoadLittleEndian32(s + i + 6))),
                           _mm_cvtsi32_si128(static_cast<int>(LoadLittleEndian32(s + i + 9)))));
    const __m128i units = _mm_or_si128(
        _mm_or_si128(_mm_slli_epi32(_mm_and_si128(w, low4), 12), _mm_and_si128(_mm_srli_epi32(w, 2), mid6)),
        _mm_and_si128(_mm_srli_epi32(w, 16), low6));
    // The signed pack saturates above 0x7FFF: biased down into its range
    // and back.
    const __m128i biased = _mm_sub_epi32(units, bias32);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + o), _mm_add_epi16(_mm_packs_epi32(biased, biased), bias16));
    i += 12;
    o += 4;
  }
  return i;
}
#endif

}  // namespace

std::u16string Utf8ToU16(std::string_view in) {
  const auto* s = reinterpret_cast<const unsigned char*>(in.data());
  const size_t n = in.size();
  std::u16string out;
  out.reserve(n);
  // The page is decoded a slice at a time into this buffer and appended:
  // sizing the string up front would first fill it with zeros, a pass as
  // costly as the decoding. No sequence yields more units than it has bytes
  // (four bytes give a surrogate pair, an invalid byte one U+FFFD), and one
  // that starts in the slice ends at most three bytes past it.
  constexpr size_t kSlice = 1024;
  char16_t buf[kSlice + 4];
  // Below wordEnd four bytes can be read at once.
  const size_t wordEnd = n >= 3 ? n - 3 : 0;
  size_t i = 0;
  while (i < n) {
    const size_t end = i + std::min(kSlice, n - i);
    size_t o = 0;
    while (i < end) {
#if defined(__SSE2__)
      // Mostly ASCII markup: widen sixteen bytes at a time. The store may
      // run past the ASCII prefix of a block; those units are overwritten
      // next, and o + 16 <= (bytes of the slice read) + 16 keeps it in buf.
      const __m128i zero = _mm_setzero_si128();
      while (i + 16 <= end) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(buf + o), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(buf + o + 8), _mm_unpackhi_epi8(v, zero));
        const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
        if (high != 0) {
          const size_t ascii = static_cast<size_t>(__builtin_ctz(high));
          i += ascii;
          o += ascii;
          break;
        }
        i += 16;
        o += 16;
        if (i + 16 > end) break;
        // A second block per turn halves the loop's own bookkeeping.
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(buf + o), _mm_unpacklo_epi8(w, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(buf + o + 8), _mm_unpackhi_epi8(w, zero));
        const unsigned high2 = static_cast<unsigned>(_mm_movemask_epi8(w));
        if (high2 != 0) {
          const size_t ascii = static_cast<size_t>(__builtin_ctz(high2));
          i += ascii;
          o += ascii;
          break;
        }
        i += 16;
        o += 16;
      }
#endif
      // Up to the next ASCII byte that can start a block: runs of
      // multi-byte text stay here instead of trying a block per character.
      while (i < end) {
        const unsigned c = s[i];
        if (c < 0x80) {
          buf[o++] = static_cast<char16_t>(c);
          ++i;
#if defined(__SSE2__)
          if (i + 16 <= end) break;
#endif
          continue;
        }
        // Three-byte (CJK) text is most of what is not ASCII, and comes in
        // runs: one word holds the lead byte and both continuation bytes,
        // and the lead bytes E0 and ED (whose second byte has a narrower
        // range) are left to the general path.
        const size_t first = i;
#if defined(__SSE2__)
        i = DecodeThreeByteBlocks(s, i, end, n, buf, o);
#endif
        for (const size_t stop = std::min(end, wordEnd); i < stop; i += 3) {
          const uint32_t w = LoadLittleEndian32(s + i);
          const uint32_t lead = w & 0x0F;
          if ((w & 0x00C0C0F0u) != 0x008080E0u || !((0xDFFEu >> lead) & 1)) break;
          buf[o++] = static_cast<char16_t>((lead << 12) | ((w >> 2) & 0x0FC0) | ((w >> 16) & 0x3F));
        }
        if (i == first) o += DecodeSequence(s, n, i, buf + o);
      }
    }
    out.append(buf, o);
  }
  return out;
}

std::string U16ToUtf8(std::u16string_view in) {
  std::string out;
  out.reserve(in.size() * 3);
  const size_t n = in.size();
  for (size_t i = 0; i < n; ++i) {
    uint32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

bool HasWideScans() {
#if defined(ZQE_WIDE_SCANS)
  // The init is the compiler's own guard for a first use before the
  // runtime's constructors ran; later it costs nothing.
  static const bool avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
  return avx2;
#else
  return false;
#endif
}

namespace {

#if defined(ZQE_WIDE_SCANS)
// FindText's loop for markers with ASCII ends, thirty-two places a step
// from i while they fit before last + 1. Returns the place found, or npos
// with i left where the loop stopped.
[[gnu::target("avx2")]] size_t FindAsciiEndsWide(const char16_t* p, size_t& i, size_t last, std::u16string_view m) {
  const size_t k = m.size();
  const __m256i first8 = _mm256_set1_epi8(static_cast<char>(m[0]));
  const __m256i final8 = _mm256_set1_epi8(static_cast<char>(m[k - 1]));
  for (; i + 32 <= last + 1; i += 32) {
    unsigned hits = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_and_si256(
        _mm256_cmpeq_epi8(NarrowWide(p + i), first8), _mm256_cmpeq_epi8(NarrowWide(p + i + k - 1), final8))));
    for (; hits != 0; hits &= hits - 1) {
      const size_t at = i + static_cast<size_t>(__builtin_ctz(hits));
      if (std::char_traits<char16_t>::compare(p + at, m.data(), k) == 0) return at;
    }
  }
  return std::u16string_view::npos;
}
#endif

}  // namespace

size_t FindText(std::u16string_view s, std::u16string_view m, size_t from) {
  return text_detail::FindText(s, m, from, true);
}

size_t text_detail::FindText(std::u16string_view s, std::u16string_view m, size_t from, bool wide) {
  const size_t n = s.size(), k = m.size();
  if (from > n || k > n - from) return std::u16string_view::npos;
  if (k == 0) return from;
  const char16_t* p = s.data();
  const size_t last = n - k;  // the last place m fits
  size_t i = from;
#if defined(ZQE_WIDE_SCANS)
  if (wide && m[0] < 0x80 && m[k - 1] < 0x80 && HasWideScans()) {
    const size_t at = FindAsciiEndsWide(p, i, last, m);
    if (at != std::u16string_view::npos) return at;
  }
#else
  (void)wide;
#endif
#if defined(__SSE2__)
  // Places where both the first and the last unit of m fit are checked.
  if (m[0] < 0x80 && m[k - 1] < 0x80) {
    // ASCII ends, as markup markers have: sixteen places per step, the
    // units narrowed to bytes with saturation (an ASCII unit stays itself,
    // so no place is missed; the few false ones are compared away).
    const __m128i first8 = _mm_set1_epi8(static_cast<char>(m[0]));
    const __m128i final8 = _mm_set1_epi8(static_cast<char>(m[k - 1]));
    auto narrow = [p](size_t at) {
      return _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at + 8)));
    };
    for (; i + 16 <= last + 1; i += 16) {
      unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(
          _mm_and_si128(_mm_cmpeq_epi8(narrow(i), first8), _mm_cmpeq_epi8(narrow(i + k - 1), final8))));
      for (; hits != 0; hits &= hits - 1) {
        const size_t at = i + static_cast<size_t>(__builtin_ctz(hits));
        if (std::char_traits<char16_t>::compare(p + at, m.data(), k) == 0) return at;
      }
    }
  }
  const __m128i first = _mm_set1_epi16(static_cast<short>(m[0]));
  const __m128i final = _mm_set1_epi16(static_cast<short>(m[k - 1]));
  for (; i + 8 <= last + 1; i += 8) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + k - 1));
    unsigned hits = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(a, first), _mm_cmpeq_epi16(b, final))));
    while (hits != 0) {
      const unsigned lane = static_cast<unsigned>(__builtin_ctz(hits)) / 2;
      if (std::char_traits<char16_t>::compare(p + i + lane, m.data(), k) == 0) return i + lane;
      hits &= ~(3u << (2 * lane));
    }
  }
#endif
  for (; i <= last; ++i)
    if (p[i] == m[0] && std::char_traits<char16_t>::compare(p + i, m.data(), k) == 0) return i;
  return std::u16string_view::npos;
}

std::u16string AsciiToU16(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

std::u16string AsciiLowerCase(std::u16string_view s) {
  std::u16string r(s);
  for (auto& c : r) c = AsciiLower(c);
  return r;
}

bool SameTextAscii(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

std::u16string UIntToU16(uint64_t v) {
  char16_t buf[24];
  size_t p = sizeof(buf) / sizeof(buf[0]);
  do {
    buf[--p] = static_cast<char16_t>(u'0' + v % 10);
    v /= 10;
  } while (v);
  return std::u16string(buf + p, buf + 24);
}

std::u16string IntToU16(int64_t v) {
  if (v >= 0) return UIntToU16(static_cast<uint64_t>(v));
  std::u16string r = UIntToU16(0 - static_cast<uint64_t>(v));
  r.insert(r.begin(), u'-');
  return r;
}

std::u16string_view Trim(std::u16string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= 0x20) ++b;
  while (e > b && s[e - 1] <= 0x20) --e;
  return s.substr(b, e - b);
}

bool TryParseInt32(std::u16string_view s, int32_t& out) {
  s = Trim(s);
  if (s.empty()) return false;
  bool neg = false;
  size_t i = 0;
  if (s[0] == u'-' || s[0] == u'+') {
    neg = s[0] == u'-';
    ++i;
  }
  unsigned base = 10;
  if (i < s.size() && s[i] == u'$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return false;
  uint64_t v = 0;
  for (; i < s.size(); ++i) {
    const char16_t c = s[i];
    unsigned d;
    if (c >= u'0' && c <= u'9') d = c - u'0';
    else if (base == 16 && c >= u'a' && c <= u'f') d = c - u'a' + 10;
    else if (base == 16 && c >= u'A' && c <= u'F') d = c - u'A' + 10;
    else return false;
    v = v * base + d;
    if (v > 0xFFFFFFFFull) return false;
  }
  if (base == 16) {
    // Hexadecimal literals name a bit pattern: $FFFFFFFF is -1.
    out = static_cast<int32_t>(static_cast<uint32_t>(v));
    if (neg) out = -out;
    return true;
  }
  if (neg) {
    if (v > 0x80000000ull) return false;
    out = static_cast<int32_t>(-static_cast<int64_t>(v));
  } else {
    if (v > 0x7FFFFFFFull) return false;
    out = static_cast<int32_t>(v);
  }
  return true;
}

int32_t SetFieldText(char16_t* field, size_t capacity, std::u16string_view text) {
  if (capacity == 0) return 0;
  const size_t n = SurrogateSafeCut(text, capacity - 1);
  std::memcpy(field, text.data(), n * sizeof(char16_t));
  field[n] = 0;
  return static_cast<int32_t>(n);
}

}  // namespace zqe
