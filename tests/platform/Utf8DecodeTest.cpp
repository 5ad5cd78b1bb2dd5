// The block-wise UTF-8 decoder against the byte-at-a-time one it
// replaced, kept here as the reference.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "platform/Text.h"

namespace zqe {
namespace {

// The decoder as it was before the ASCII blocks: one byte per step.
std::u16string ReferenceUtf8ToU16(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  const auto* s = reinterpret_cast<const unsigned char*>(in.data());
  const size_t n = in.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
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
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool ok = true;
    for (size_t k = 0; k < need; ++k, ++j) {
      if (j >= n) { ok = false; break; }
      const unsigned char b = s[j];
      const unsigned char l = (k == 0) ? lo : 0x80;
      const unsigned char h = (k == 0) ? hi : 0xBF;
      if (b < l || b > h) { ok = false; break; }
      cp = (cp << 6) | (b & 0x3F);
    }
    if (!ok) {
      out.push_back(0xFFFD);
      i = j;  // skip the maximal invalid subpart
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i = j;
  }
  return out;
}

std::string Hex(std::string_view s) {
  static const char digits[] = "0123456789ABCDEF";
  std::string r;
  for (unsigned char c : s) {
    r += digits[c >> 4];
    r += digits[c & 15];
    r += ' ';
  }
  return r;
}

// Pieces that exercise every branch of the decoder: ASCII, each valid
// length, the lead bytes with narrowed second-byte ranges at both edges,
// overlongs, encoded surrogates, code points past U+10FFFF, stray
// continuation bytes, bytes that never occur, and truncated sequences.
const char* const kPieces[] = {
    "a", "<div class=\"x\">", " ", "\n", "\x7F", "\x00",
    "\xC3\xA9", "\xDF\xBF", "\xC2\x80", "\xC0\x80", "\xC1\xBF",            // two bytes, overlongs
    "\xE4\xB8\xAD", "\xE0\xA0\x80", "\xE0\x9F\xBF", "\xEF\xBF\xBF",       // three bytes
    "\xED\x9F\xBF", "\xED\xA0\x80", "\xED\xBF\xBF", "\xEE\x80\x80",       // around surrogates
    "\xF0\x9F\x98\x80", "\xF0\x90\x80\x80", "\xF0\x8F\xBF\xBF",           // four bytes, overlong
    "\xF4\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",           // past U+10FFFF
    "\x80", "\xBF", "\xFE", "\xFF", "\xC3", "\xE4\xB8", "\xE4", "\xF0\x9F\x98", "\xF0\x9F"};

std::string RandomText(std::mt19937& rng, int kind) {
  std::string s;
  // Three-byte runs also cross the decoder's 1024-byte slices.
  const size_t len = rng() % (kind == 3 ? 3000 : 200);
  while (s.size() < len) {
    switch (kind) {
      case 0:  // mostly ASCII, a multi-byte or invalid piece now and then
        if (rng() % 16 == 0) s += kPieces[rng() % std::size(kPieces)];
        else s += static_cast<char>(0x20 + rng() % 0x5F);
        break;
      case 1:  // pieces mixed evenly
        s += kPieces[rng() % std::size(kPieces)];
        break;
      case 2:  // any bytes at all
        s += static_cast<char>(rng() & 0xFF);
        break;
      default:  // runs of three-byte text (all lead bytes), a piece now and then
        if (rng() % 24 == 0) {
          s += kPieces[rng() % std::size(kPieces)];
        } else {
          s += static_cast<char>(0xE0 + rng() % 16);
          s += static_cast<char>(0x80 + rng() % 64);
          s += static_cast<char>(0x80 + rng() % 64);
        }
    }
  }
  return s;
}

TEST(Utf8ToU16, AgreesWithTheByteWiseDecoderOnRandomInputs) {
  const uint32_t seed = std::random_device{}();
  std::mt19937 rng(seed);
  for (int n = 0; n < 40000; ++n) {
    const std::string s = RandomText(rng, n % 4);
    ASSERT_EQ(Utf8ToU16(s), ReferenceUtf8ToU16(s)) << "seed " << seed << " input " << Hex(s);
  }
}

// Every block boundary: one non-ASCII or truncated piece at each offset of
// an ASCII run, with the run ending at each length past it.
TEST(Utf8ToU16, AgreesWithTheByteWiseDecoderAtEveryOffsetInABlock) {
  for (const char* piece : kPieces) {
    for (size_t at = 0; at < 40; ++at) {
      for (size_t after = 0; after < 20; ++after) {
        const std::string s = std::string(at, 'x') + piece + std::string(after, 'y');
        ASSERT_EQ(Utf8ToU16(s), ReferenceUtf8ToU16(s)) << Hex(s);
      }
    }
  }
}

TEST(Utf8ToU16, AgreesWithTheByteWiseDecoderOnEveryShortSequence) {
  // Every string of up to three bytes from a set that covers each class of
  // byte, placed after a block of ASCII and at the start.
  const unsigned char bytes[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                                 0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF4, 0xF5, 0xFF};
  const size_t k = std::size(bytes);
  for (size_t a = 0; a < k; ++a)
    for (size_t b = 0; b <= k; ++b)
      for (size_t c = 0; c <= k; ++c)
        for (size_t d = 0; d <= k; d += (b == k || c == k) ? k + 1 : 1) {
          std::string s(1, static_cast<char>(bytes[a]));
          if (b < k) s += static_cast<char>(bytes[b]);
          if (b < k && c < k) s += static_cast<char>(bytes[c]);
          if (b < k && c < k && d < k) s += static_cast<char>(bytes[d]);
          ASSERT_EQ(Utf8ToU16(s), ReferenceUtf8ToU16(s)) << Hex(s);
          const std::string t = std::string(17, 'x') + s;
          ASSERT_EQ(Utf8ToU16(t), ReferenceUtf8ToU16(t)) << Hex(t);
        }
}

}  // namespace
}  // namespace zqe
