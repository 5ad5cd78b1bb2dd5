// UTF-16 is the engine's text; these convert at the edges (files, curl,
// POSIX paths) and offer the few helpers every layer needs.
// Portable code: no operating-system headers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zqe {

// Invalid or truncated UTF-8 sequences become U+FFFD, one per maximal
// invalid subpart, the way browsers and WHATWG decoders count them.
std::u16string Utf8ToU16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string U16ToUtf8(std::u16string_view text);

std::u16string AsciiToU16(std::string_view ascii);

// s.find(m, from), looking at sixteen or thirty-two places at once: built
// for markers in whole pages, where the first unit alone ("<") would stop
// it at every tag.
size_t FindText(std::u16string_view s, std::u16string_view m, size_t from = 0);

// Whether this processor runs the 32-unit loops of the page scans (AVX2,
// 64-bit builds; the 32-bit Windows build keeps to SSE2).
bool HasWideScans();

namespace text_detail {
// FindText with the 32-unit loop allowed or not, so that tests hold both
// loops to the rule on one machine.
size_t FindText(std::u16string_view s, std::u16string_view m, size_t from, bool wide);
}  // namespace text_detail

char16_t AsciiLower(char16_t c);
std::u16string AsciiLowerCase(std::u16string_view s);
bool SameTextAscii(std::u16string_view a, std::u16string_view b);

std::u16string IntToU16(int64_t v);
std::u16string UIntToU16(uint64_t v);

// Decimal (with optional sign), "$hex" or "0x"-hex, after trimming
// blanks; false when the text is not such a number or does not fit.
bool TryParseInt32(std::u16string_view s, int32_t& out);

// Without leading and trailing characters up to U+0020.
std::u16string_view Trim(std::u16string_view s);

inline std::u16string BoolToU16(bool b) { return b ? u"True" : u"False"; }

}  // namespace zqe
