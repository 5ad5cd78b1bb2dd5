// Text in fixed-size UTF-16 arrays, the way the C interface's records hold
// it (zero-terminated unless the text fills the array), and cuts of UTF-16
// text to a length cap. Every layer that reads or fills a record, the
// engine's and the host's, uses these, so that all cut the same way.
// Portable code: no operating-system headers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zqe {

// The length of s cut to at most limit units: one unit less when the cut
// would fall between the halves of a surrogate pair.
constexpr size_t SurrogateSafeCut(std::u16string_view s, size_t limit) {
  if (s.size() <= limit) return s.size();
  size_t n = limit;
  if (n > 0 && s[n - 1] >= 0xD800 && s[n - 1] <= 0xDBFF) --n;
  return n;
}

// A text field up to its first zero or its capacity, whichever comes first.
template <size_t N>
std::u16string_view FieldView(const char16_t (&field)[N]) {
  return std::u16string_view(field, static_cast<size_t>(std::find(field, field + N, u'\0') - field));
}
template <size_t N>
std::u16string FieldText(const char16_t (&field)[N]) {
  return std::u16string(FieldView(field));
}

// Copies at most capacity - 1 units and the terminator; a cut never splits
// a surrogate pair. Units after the terminator are left as they are.
// Returns the number of units stored.
int32_t SetFieldText(char16_t* field, size_t capacity, std::u16string_view text);
template <size_t N>
int32_t SetFieldText(char16_t (&field)[N], std::u16string_view text) {
  return SetFieldText(field, N, text);
}

}  // namespace zqe
