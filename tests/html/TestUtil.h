// Helpers shared by the parser tests.
#pragma once

#include "html/HtmlParser.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace zqe::html::test {

inline std::string U8(std::u16string_view s) { return U16ToUtf8(s); }
inline std::u16string U16(std::string_view s) { return Utf8ToU16(s); }

inline TRef<IHtmlElement> Parse(std::string_view html) { return ParseHtmlDocument(U16(html)); }
inline std::string Dump(std::string_view html) { return U8(DumpElementTree(*Parse(html))); }

// Error message of a parse or query that must fail, or "" when it did not.
template <class F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const EHtmlParserError& e) {
    return e.what();
  }
  return "";
}

// Tag names and lines:columns of a result list, e.g. "DIV@1:1 P@1:6".
inline std::string Names(const TRef<IHtmlElementList>& list) {
  std::string out;
  for (int32_t i = 0; i < list->GetCount(); ++i) {
    auto e = list->GetItems(i);
    if (!out.empty()) out += ' ';
    out += U8(e->GetTagName());
    std::string id = U8(e->GetAttributes(u"id"));
    if (!id.empty()) out += "#" + id;
  }
  return out;
}

// Checks on destruction that every element made during the test is gone.
class LiveElementCheck {
 public:
  LiveElementCheck() : before_(LiveHtmlElementCount()) {}
  ~LiveElementCheck() { EXPECT_EQ(LiveHtmlElementCount(), before_) << "elements leaked"; }

 private:
  int64_t before_;
};

}  // namespace zqe::html::test
