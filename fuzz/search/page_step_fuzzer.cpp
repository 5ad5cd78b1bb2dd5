// The page step of a check on arbitrary pages: validity and verification
// tests, body cut, cleaning, parsing and one engine's extractor, through
// TSEInstanceBase::CheckPage as a fetched page goes through it.
//
// Input: the first byte picks the engine (value mod 5), the strict-match
// flag and one of a few well-formed URL filters; the rest is the page as
// UTF-8. No input may crash, hang, leak or raise; a hit always carries a
// link, and only the outcomes a page can cause occur.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/Text.h"
#include "search/SEManager.h"
#include "search/ZQSEInst.h"

namespace {

constexpr const char16_t* kEngines[] = {u"baidu", u"360so", u"bing", u"sougou", u"google"};
constexpr const char16_t* kFilters[] = {u"", u"example", u"example|", u"\"a|b\"|*.cn/?"};
// Found in the seed pages, so that hits and the steps after the match are reached.
constexpr char16_t kSentence[] = u"The quick brown fox jumps over the lazy dog near the river bank";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned options = data[0];
  const zqe::TSEInstancePtr se = zqe::NewSEInstance(kEngines[options % 5], 1);
  if (!se) std::abort();
  const std::u16string page =
      zqe::Utf8ToU16(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  se->CheckPage(u"http://q/", page, kSentence, kFilters[(options / 10) % 4], (options / 5) % 2 == 1);
  switch (se->ErrorCode()) {
    case 0:
      if (se->CheckUrl().empty() || !se->CheckRemark().empty()) std::abort();
      break;
    case 1:
    case -3:
    case -4:
    case -5:
    case -6:
      break;
    default:  // -2 needs a cancel, which nothing here sends
      std::abort();
  }
  return 0;
}
