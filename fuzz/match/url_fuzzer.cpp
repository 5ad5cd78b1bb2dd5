// Input: UTF-8 text. URLEncode must either raise its own error or return a
// URL whose path and query are printable ASCII (scheme and host are copied
// as written) and with nothing left to encode: encoding again changes
// nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/Text.h"
#include "search/URLEncode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string in = zqe::Utf8ToU16(std::string_view(reinterpret_cast<const char*>(data), size));
  std::u16string out;
  try {
    out = zqe::URLEncode(in);
  } catch (const zqe::EURLEncodeError&) {
    return 0;
  }
  const size_t rest = out.find_first_of(u"/?", out.find(u"://") + 3);
  for (size_t i = rest; i < out.size(); ++i)
    if (out[i] <= 0x20 || out[i] >= 0x7F) std::abort();
  if (zqe::URLEncode(out) != out) std::abort();
  return 0;
}
