// Input: byte 0 = mask length in units, then UTF-16 units of mask and
// text. Compiling either succeeds or raises the mask error; matching
// stays within |text| x |mask| steps and must not crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "search/Mask.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::u16string units;
  for (size_t i = 1; i + 1 < size; i += 2) units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  const size_t at = std::min<size_t>(data[0], units.size());
  try {
    const zqe::TMask mask(units.substr(0, at));
    mask.Matches(units.substr(at));
  } catch (const zqe::EMaskError&) {
  }
  return 0;
}
