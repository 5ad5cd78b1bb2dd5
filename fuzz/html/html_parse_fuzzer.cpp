// ParseHtmlDocument on arbitrary UTF-16, then a few selector queries, the
// text outputs, places and closing tags: none may crash, hang or leak.
#include "html/HtmlParser.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string page(size / 2, u'\0');
  if (!page.empty()) std::memcpy(page.data(), data, page.size() * 2);
  using namespace zqe::html;
  try {
    auto doc = ParseHtmlDocument(page);
    for (const char16_t* q : {u"div p", u"* + a", u"ul > li ~ li", u"[class~=x]", u"a[href^=h] b, i"}) {
      auto list = doc->SimpleCSSSelector(q);
      for (int32_t i = 0; i < list->GetCount() && i < 4; ++i) {
        auto e = list->GetItems(i);
        (void)e->GetInnerText();
        (void)e->GetOuterHtml();
        // Closing tags, attributes and places are made on first question.
        (void)e->GetSourceLineNum();
        if (auto close = e->GetCloseTag()) (void)close->GetAttributes(u"class");
      }
    }
    (void)doc->FindElements(u"a", u"class=x", false);
    (void)doc->GetInnerText();
    (void)DumpElementTree(*doc);
  } catch (const EHtmlParserError&) {
  }
  return 0;
}
