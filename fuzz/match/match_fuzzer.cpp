// Input: byte 0 = MaxDistance - 1 (mod 16), byte 1 = split point, then
// UTF-16 units (little-endian pairs) of pattern and text. Checks that the
// bit-parallel search agrees with the full-matrix reference in every field.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "match/ApproximateSubstringSearch.h"
#include "match/SentenceMatch.h"
#ifdef ZQE_FUZZ_WITH_REFERENCE
#include "ReferenceApproximateSearch.h"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int k = static_cast<int>(data[0] % 16) - 1;
  const size_t split = data[1];
  std::u16string units;
  for (size_t i = 2; i + 1 < size && units.size() < 700; i += 2)
    units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  const size_t at = std::min(split, units.size());
  const std::u16string pattern = units.substr(0, at);
  const std::u16string text = units.substr(at);

  zqe::TApproximateSearch search(text);
  const zqe::TMatchResult fast = search.FindBestMatch(pattern, k);
  if (search.HasMatch(pattern, k) != fast.Found) std::abort();
  if (fast.Found && (fast.Position < 1 || fast.Position - 1 + fast.Length > static_cast<int32_t>(text.size())))
    std::abort();
#ifdef ZQE_FUZZ_WITH_REFERENCE
  zqe::reference::TApproximateSearch slow(text);
  if (!(slow.FindBestMatch(pattern, k) == fast)) std::abort();
  for (bool strict : {false, true})
    if (zqe::MatchSentence(pattern, text, strict) != zqe::reference::MatchSentence(pattern, text, strict))
      std::abort();
#else
  zqe::MatchSentence(pattern, text, data[0] & 0x80);
#endif
  return 0;
}
