#include "TestUtil.h"

#include "platform/Platform.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

namespace zqe::html::test {
namespace {

TEST(Element, IndexesOutOfRangeYieldNone) {
  LiveElementCheck live;
  auto doc = Parse("<p>a</p>");
  EXPECT_FALSE(doc->GetChildren(-1));
  EXPECT_FALSE(doc->GetChildren(doc->GetChildrenCount()));
  EXPECT_TRUE(doc->GetChildren(0));
  auto empty = doc->SimpleCSSSelector(u"table");
  EXPECT_EQ(empty->GetCount(), 0);
  EXPECT_FALSE(empty->GetItems(0));
  EXPECT_FALSE(empty->GetItems(-1));
}

TEST(Element, KindsAndRawText) {
  LiveElementCheck live;
  auto doc = Parse("<!DOCTYPE html><A Href='x'>a&amp;b</A><!--c-->");
  EXPECT_EQ(U8(doc->GetTagName()), "#DOCUMENT");
  EXPECT_FALSE(doc->GetOwner());
  auto a = doc->GetChildren(1);
  EXPECT_EQ(U8(a->GetTagName()), "A");
  EXPECT_EQ(U8(a->GetOrignal()), "<A Href='x'>");
  EXPECT_EQ(U8(a->GetContent()), "");
  EXPECT_EQ(a->GetOwner(), doc);
  auto text = a->GetChildren(0);
  EXPECT_EQ(U8(text->GetContent()), "a&b");
  EXPECT_EQ(U8(text->GetOrignal()), "a&amp;b");
  EXPECT_EQ(U8(doc->GetChildren(0)->GetContent()), "html");
  EXPECT_EQ(U8(doc->GetChildren(2)->GetContent()), "<!--c-->");
}

TEST(Element, AttributesAreFoundInAnyCase) {
  LiveElementCheck live;
  auto a = Parse("<a HREF=\"/x?a=1&amp;b=2\" Data-X=y>")->GetChildren(0);
  EXPECT_EQ(U8(a->GetAttributes(u"href")), "/x?a=1&b=2");
  EXPECT_EQ(U8(a->GetAttributes(u"HrEf")), "/x?a=1&b=2");
  EXPECT_TRUE(a->HasAttribute(u"HREF"));
  EXPECT_TRUE(a->HasAttribute(u"data-x"));
  EXPECT_FALSE(a->HasAttribute(u"title"));
  EXPECT_EQ(U8(a->GetAttributes(u"title")), "");
}

// Random tags of up to 40 attributes drawn from few names in mixed case,
// so that repeats are common, also across the sixteenth attribute, where
// the table switches to its map.
std::string RandomAttributeTag(std::mt19937& rng, std::map<std::string, std::string>& expected) {
  static const char* const kNames[] = {"a", "B", "class", "ID", "href", "data-x", "Title", "c1", "c2", "c3",
                                       "c4", "c5", "c6", "c7", "c8", "c9", "c10", "c11", "c12", "c13", "c14"};
  static const char* const kValues[] = {"1", "x&amp;y", "", "a b", "&lt;p&gt;", "it's"};
  std::string tag = "<p";
  const int count = static_cast<int>(rng() % 41);
  for (int i = 0; i < count; ++i) {
    std::string name = kNames[rng() % std::size(kNames)];
    if (rng() % 3 == 0) std::transform(name.begin(), name.end(), name.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });
    const std::string value = kValues[rng() % std::size(kValues)];
    tag += " " + name + "=\"" + value + "\"";
    std::string key = name;
    std::transform(key.begin(), key.end(), key.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
    std::string decoded = value;
    for (auto [from, to] : {std::pair<std::string, std::string>{"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}})
      for (size_t at; (at = decoded.find(from)) != std::string::npos;) decoded.replace(at, from.size(), to);
    expected[key] = decoded;  // the last value of a repeated name wins
  }
  return tag + ">x</p>";
}

TEST(Element, AttributeTablesHoldEachNameOnceWithItsLastValue) {
  LiveElementCheck live;
  std::mt19937 rng(7);
  for (int round = 0; round < 400; ++round) {
    std::map<std::string, std::string> expected;
    const std::string html = RandomAttributeTag(rng, expected);
    auto p = Parse(html)->GetChildren(0);
    std::map<std::string, std::string> listed;
    p->EnumAttributeNames(&listed, [](void* out, const std::u16string& n, const std::u16string& v) {
      return static_cast<std::map<std::string, std::string>*>(out)->emplace(U8(n), U8(v)).second;
    });
    EXPECT_EQ(listed, expected) << html;
    for (const auto& [name, value] : expected) EXPECT_EQ(U8(p->GetAttributes(U16(name))), value) << html;
  }
}

// The attribute rules read unit by unit, as plainly as they can be said:
// a token opened by a quote runs to the same quote (or the end) without
// them; any other takes its first unit whatever it is and runs to a stop,
// white space or "=" for a name, white space for a value.
std::u16string_view ReferenceToken(std::u16string_view t, size_t& i, bool name) {
  auto space = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; };
  while (i < t.size() && space(t[i])) ++i;
  const size_t start = i;
  if (i >= t.size()) return {};
  const char16_t q = t[i++];
  if (q == u'"' || q == u'\'') {
    while (i < t.size() && t[i] != q) ++i;
    const std::u16string_view token = t.substr(start + 1, i - start - 1);
    if (i < t.size()) ++i;
    return token;
  }
  while (i < t.size() && !space(t[i]) && !(name && t[i] == u'=')) ++i;
  return t.substr(start, i - start);
}

// Name and value pairs of an attribute text, by the rules above: "=" may
// stand between white space; a name without one has an empty value.
std::vector<std::pair<std::u16string, std::u16string>> ReferenceAttributes(std::u16string_view t) {
  auto space = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; };
  std::vector<std::pair<std::u16string, std::u16string>> out;
  for (size_t i = 0;;) {
    while (i < t.size() && space(t[i])) ++i;
    if (i >= t.size()) return out;
    std::u16string name(ReferenceToken(t, i, true)), value;
    size_t j = i;
    while (j < t.size() && space(t[j])) ++j;
    if (j < t.size() && t[j] == u'=') {
      i = j + 1;
      value = ReferenceToken(t, i, false);
    }
    out.emplace_back(std::move(name), std::move(value));
  }
}

// The table's reader against the rules read unit by unit, on attribute
// text made of the pieces that steer it: quotes that close or not, "=" in
// odd places, references, upper case and white space.
TEST(Element, AttributeTablesReadOddTextAsTheRulesSay) {
  LiveElementCheck live;
  static const char* const kPieces[] = {" ", " ", "\t", "=", "= ", "\"", "'", "&amp;", "&#65;", "&", ";",
                                        "a", "B", "x", "Id", "data-x", "1", "\"v w\"", "'v\"w'"};
  std::mt19937 rng(5);
  for (int round = 0; round < 3000; ++round) {
    std::string rest;
    for (int n = static_cast<int>(rng() % 14); n > 0; --n) rest += kPieces[rng() % std::size(kPieces)];
    // An odd double quote would hide the tag's end.
    if (std::count(rest.begin(), rest.end(), '"') % 2) rest += '"';
    const std::string html = "<p " + rest + ">";
    auto p = Parse(html)->GetChildren(0);
    ASSERT_TRUE(p) << html;
    std::map<std::string, std::string> expected;
    const std::u16string text = U16(" " + rest);
    const auto pairs = ReferenceAttributes(text);
    for (const auto& [key, value] : pairs) expected[U8(AsciiLowerCase(key))] = U8(DecodeCharReferences(value));
    // The reader that queries use follows the same rules.
    const TAttributeDynArray general = ParseAttributeList(text);
    ASSERT_EQ(general.size(), pairs.size()) << html;
    for (size_t k = 0; k < pairs.size(); ++k) {
      EXPECT_EQ(U8(general[k].Key), U8(pairs[k].first)) << html;
      EXPECT_EQ(U8(general[k].Value), U8(pairs[k].second)) << html;
    }
    struct {
      std::map<std::string, std::string> Pairs;
      size_t Entries = 0;
    } listed;
    p->EnumAttributeNames(&listed, [](void* out, const std::u16string& n, const std::u16string& v) {
      auto& to = *static_cast<decltype(listed)*>(out);
      ++to.Entries;
      to.Pairs.emplace(U8(n), U8(v));
      return true;
    });
    EXPECT_EQ(listed.Pairs, expected) << html;
    EXPECT_EQ(listed.Entries, expected.size()) << html;
  }
}

// A finished tree is read by several threads at once: the first reads of
// each element's attributes race, and every thread must see whole tables.
TEST(SharedTree, FirstAttributeReadsFromManyThreadsAgree) {
  LiveElementCheck live;
  std::mt19937 rng(11);
  std::string html;
  std::vector<std::map<std::string, std::string>> expected(300);
  for (auto& e : expected) html += RandomAttributeTag(rng, e);
  auto doc = Parse(html);
  ASSERT_EQ(doc->GetChildrenCount(), static_cast<int32_t>(expected.size()));
  constexpr int kThreads = 4;
  std::vector<int> wrong(kThreads, 0);
  // The closing tag each thread was given, per element: made once, so the
  // same for all.
  std::vector<std::vector<const IHtmlElement*>> closers(kThreads, std::vector<const IHtmlElement*>(expected.size()));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (size_t k = 0; k < expected.size(); ++k) {
        // Each thread walks the elements in its own order.
        const size_t i = t % 2 ? expected.size() - 1 - k : k;
        auto p = doc->GetChildren(static_cast<int32_t>(i));
        for (const auto& [name, value] : expected[i])
          if (U8(p->GetAttributes(U16(name))) != value) ++wrong[t];
        if (p->HasAttribute(u"none")) ++wrong[t];
        auto close = p->GetCloseTag();
        if (!close || close->GetOrignal() != u"</p>") ++wrong[t];
        closers[t][i] = close.get();
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong, std::vector<int>(kThreads, 0));
  for (int t = 1; t < kThreads; ++t) EXPECT_EQ(closers[t], closers[0]);
}

// A tree let go in one thread while others let go of result lists of it at
// the same moment: whoever holds an element last frees it, once, and the
// page text goes with the last of them.
TEST(SharedTree, ReleasesFromManyThreadsFreeEveryElementOnce) {
  LiveElementCheck live;
  std::string html;
  for (int i = 0; i < 200; ++i) html += "<div class=d><p>x</p><b>y</b></div>";
  for (int round = 0; round < 40; ++round) {
    auto doc = Parse(html);
    std::vector<TRef<IHtmlElementList>> lists;
    for (const char16_t* q : {u"p", u"div", u"div > b", u"*"}) lists.push_back(doc->SimpleCSSSelector(q));
    auto closer = doc->GetChildren(round)->GetCloseTag();  // one closing tag made, held by the tree
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (auto& list : lists) {
      threads.emplace_back([&go, held = std::move(list)]() mutable {
        while (!go.load()) std::this_thread::yield();
        held = nullptr;
      });
    }
    closer = nullptr;
    go = true;
    doc = nullptr;
    for (auto& th : threads) th.join();
  }
}

bool Collect(void* param, const std::u16string& name, const std::u16string& value) {
  auto& out = *static_cast<std::string*>(param);
  out += U8(name) + "=" + U8(value) + ";";
  return out.size() < 12;
}

TEST(Element, EnumAttributeNamesFollowsTheTableOrder) {
  LiveElementCheck live;
  auto doc = Parse("<a href=1 id=2 class=3><b title=t type=y>");
  std::string seen;
  doc->GetChildren(0)->EnumAttributeNames(&seen, [](void* p, const std::u16string& n, const std::u16string&) {
    *static_cast<std::string*>(p) += U8(n) + " ";
    return true;
  });
  EXPECT_EQ(seen, "id class href ");
  seen.clear();
  doc->GetChildren(0)->GetChildren(0)->EnumAttributeNames(&seen, Collect);
  EXPECT_EQ(seen, "type=y;title=t;");
  seen.clear();
  doc->GetChildren(0)->EnumAttributeNames(&seen, Collect);  // stops once Collect says so
  EXPECT_EQ(seen, "id=2;class=3;");
  doc->GetChildren(0)->EnumAttributeNames(&seen, nullptr);
}

TEST(Element, ResultListKeepsElementsAliveAfterTheDocument) {
  LiveElementCheck live;
  const int64_t before = LiveHtmlElementCount();
  TRef<IHtmlElementList> found;
  {
    auto doc = Parse("<div><p id=1>a<b>b</b></p><p id=2>c</p></div>x");
    // Closing tags are elements only once asked for.
    EXPECT_EQ(LiveHtmlElementCount() - before, 9);
    found = doc->SimpleCSSSelector(u"p#1");
    EXPECT_TRUE(found->GetItems(0)->GetOwner());
    EXPECT_TRUE(found->GetItems(0)->GetChildren(1)->GetCloseTag());
    EXPECT_EQ(LiveHtmlElementCount() - before, 10);
  }
  // The first P, its text, B with its text and closing tag remain.
  EXPECT_EQ(LiveHtmlElementCount() - before, 5);
  auto p = found->GetItems(0);
  EXPECT_FALSE(p->GetOwner()) << "its parent is gone";
  EXPECT_EQ(U8(p->GetOuterHtml()), "<p id=1>a<b>b</b></p>");
  EXPECT_EQ(U8(p->GetInnerText()), "ab");
  EXPECT_EQ(p->GetChildren(1)->GetOwner(), p);
  found = nullptr;
  EXPECT_EQ(LiveHtmlElementCount() - before, 5) << "p is still held";
  p = nullptr;
  EXPECT_EQ(LiveHtmlElementCount(), before);
}

TEST(Element, ReleasingAResultListKeepsParentLinks) {
  LiveElementCheck live;
  auto doc = Parse("<ul><li>a</li><li>b</li></ul>");
  doc->SimpleCSSSelector(u"li");  // list released at once
  auto li = doc->GetChildren(0)->GetChildren(1);
  EXPECT_EQ(li->GetOwner(), doc->GetChildren(0));
  EXPECT_EQ(doc->SimpleCSSSelector(u"li + li")->GetCount(), 1);
}

TEST(Element, ClosingTagHangsOffItsElementOnly) {
  LiveElementCheck live;
  auto doc = Parse("<div>x\n  <b>y</b\n>z</DIV x=1>");
  auto div = doc->GetChildren(0);
  auto close = div->GetCloseTag();
  ASSERT_TRUE(close);
  EXPECT_EQ(close, div->GetCloseTag()) << "made once";
  EXPECT_EQ(U8(close->GetTagName()), "DIV");
  EXPECT_EQ(U8(close->GetOrignal()), "</DIV x=1>");
  EXPECT_EQ(U8(close->GetAttributes(u"x")), "1");
  EXPECT_EQ(close->GetSourceLineNum(), 3);
  EXPECT_EQ(close->GetSourceColNum(), 3);
  EXPECT_FALSE(close->GetOwner());
  EXPECT_EQ(close->GetChildrenCount(), 0);
  EXPECT_EQ(div->GetChildrenCount(), 3);
  EXPECT_FALSE(div->GetChildren(0)->GetCloseTag());
  auto bClose = div->GetChildren(1)->GetCloseTag();
  ASSERT_TRUE(bClose);
  EXPECT_EQ(U8(bClose->GetOrignal()), "</b\n>");
  EXPECT_EQ(bClose->GetSourceLineNum(), 2);
  EXPECT_EQ(bClose->GetSourceColNum(), 7);
}

struct TextCase {
  const char* html;
  const char* selector;
  const char* innerText;
};

TEST(Element, InnerTextConcatenatesTextNodesAsIs) {
  LiveElementCheck live;
  const TextCase cases[] = {
      {"<p>a<b>b</b>c</p>", "p", "abc"},
      {"<p>a<br>b</p>", "p", "ab"},
      {"<div>x<script>y</script></div>", "div", "x"},
      {"<div><style>s</style><!--c-->x</div>", "div", "x"},
      {"<script><!-- a -->b</script>", "script", "b"},
      {"<script>plain</script>", "script", ""},
      {"<li>\n  one&nbsp;two\n</li>", "li", "\n  one\u00A0two\n"},
      {"<p>a&amp;lt;</p>", "p > *", "a&lt;"},  // a text node's own content
  };
  for (const auto& c : cases) {
    auto e = Parse(c.html)->SimpleCSSSelector(U16(c.selector))->GetItems(0);
    ASSERT_TRUE(e) << c.html;
    EXPECT_EQ(U8(e->GetInnerText()), c.innerText) << c.html;
  }
}

TEST(Element, InnerAndOuterHtmlReproduceTheSource) {
  LiveElementCheck live;
  auto doc = Parse("<DIV Class=\"a\"><P>x&amp;y</DIV></p>");
  auto div = doc->GetChildren(0);
  EXPECT_EQ(U8(div->GetOuterHtml()), "<DIV Class=\"a\"><P>x&amp;y</DIV>");
  EXPECT_EQ(U8(div->GetInnerHtml()), "<P>x&amp;y");
  EXPECT_EQ(U8(doc->GetOuterHtml()), "<DIV Class=\"a\"><P>x&amp;y</DIV>") << "stray </p> dropped";
  EXPECT_EQ(U8(doc->GetInnerHtml()), U8(doc->GetOuterHtml()));
  EXPECT_EQ(U8(div->GetChildren(0)->GetOuterHtml()), "<P>x&amp;y") << "closed by DIV's tag";
  auto text = div->GetChildren(0)->GetChildren(0);
  EXPECT_EQ(U8(text->GetInnerHtml()), "");
  EXPECT_EQ(U8(text->GetOuterHtml()), "x&amp;y");
  EXPECT_EQ(U8(Parse("<br>")->GetChildren(0)->GetInnerHtml()), "");
}

TEST(Element, OuterHtmlOfABalancedPageIsThePage) {
  LiveElementCheck live;
  std::ifstream f(std::string(ZQE_HTML_TEST_DATA) + "/serp_like.html", std::ios::binary);
  ASSERT_TRUE(f);
  std::stringstream ss;
  ss << f.rdbuf();
  std::u16string page = U16(ss.str());
  EXPECT_EQ(ParseHtmlDocument(page)->GetOuterHtml(), page);
}

// A million nested unclosed tags: building, querying, text output and
// freeing must all work without recursion. The test program runs once more
// on a 1 MB stack (see CMakeLists.txt), where any recursion would crash.
TEST(DeepPage, MillionNestedTagsParseQueryAndFree) {
  LiveElementCheck live;
  constexpr int kDepth = 1000000;
  std::u16string page;
  page.reserve(kDepth * 5 + 10);
  for (int i = 0; i < kDepth; ++i) page += (i % 2) ? u"<b>" : u"<i>";
  page += u"deep";
  {
    auto doc = ParseHtmlDocument(page);
    EXPECT_EQ(LiveHtmlElementCount() >= kDepth, true);
    EXPECT_EQ(U8(doc->GetInnerText()), "deep");
    EXPECT_EQ(doc->SimpleCSSSelector(u"i b")->GetCount(), kDepth / 2);
    EXPECT_EQ(doc->SimpleCSSSelector(u"b > i")->GetCount(), kDepth / 2 - 1);
    EXPECT_EQ(doc->FindElements(u"b", u"", false)->GetCount(), kDepth / 2);
    EXPECT_EQ(doc->GetOuterHtml().size(), page.size());
    EXPECT_EQ(DumpElementTree(*doc).size(), size_t{kDepth} * 3 + 11);
  }
}

// The same on a thread of its own with the Windows default stack of 1 MB,
// whatever stack the test program's main thread has.
TEST(DeepPage, MillionNestedTagsOnAOneMegabyteThread) {
  LiveElementCheck live;
  constexpr int kDepth = 1000000;
  std::u16string page;
  page.reserve(kDepth * 3 + 10);
  for (int i = 0; i < kDepth; ++i) page += (i % 2) ? u"<b>" : u"<i>";
  page += u"deep";
  using platform::Event;
  using platform::Thread;
  Event done(true, false);
  std::string text;
  int32_t matches = -1;
  auto thread = std::make_unique<Thread>(
      [&] {
        {
          auto doc = ParseHtmlDocument(page);
          matches = doc->SimpleCSSSelector(u"i b")->GetCount();
          text = U8(doc->GetInnerText());
        }
        done.Set();
      },
      1024 * 1024);
  ASSERT_TRUE(thread->Resume());
  thread.reset();
  ASSERT_EQ(platform::WaitForOne(done, 120000), 0);
  EXPECT_EQ(matches, kDepth / 2);
  EXPECT_EQ(text, "deep");
}

TEST(DeepPage, ChildOutlivingADeepAncestorChainIsFreedIteratively) {
  LiveElementCheck live;
  std::u16string page;
  for (int i = 0; i < 300000; ++i) page += u"<div>";
  auto doc = ParseHtmlDocument(page);
  auto list = doc->SimpleCSSSelector(u"div");
  doc = nullptr;
  // The list now holds the only references; releasing it frees the chain.
  EXPECT_EQ(list->GetCount(), 300000);
  EXPECT_FALSE(list->GetItems(0)->GetOwner());
  EXPECT_TRUE(list->GetItems(1)->GetOwner());
}

}  // namespace
}  // namespace zqe::html::test
