// The selector parser and search on arbitrary selector text over a fixed
// page: errors must be EHtmlParserError, never a crash or a hang.
#include "html/HtmlParser.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zqe::html;
  static const TRef<IHtmlElement> doc = ParseHtmlDocument(
      u"<div id=a class='x y'><p lang=en-US>t<a href=h>l</a><b>b</b><!--c--><i>i</i></div><ul><li>1<li>2</ul>");
  std::u16string selector(size / 2, u'\0');
  if (!selector.empty()) std::memcpy(selector.data(), data, selector.size() * 2);
  try {
    (void)DumpSelector(ParseSelector(selector));
    (void)doc->SimpleCSSSelector(selector)->GetCount();
  } catch (const EHtmlParserError&) {
  }
  return 0;
}
