#include "TestUtil.h"
#include "html/HtmlSelector.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

namespace zqe::html::test {
namespace {

struct ParseCase {
  const char* selector;
  const char* dump;
};

TEST(SelectorParser, ParsesToTheExpectedItems) {
  const ParseCase cases[] = {
      {"", "*"},
      {"div", "DIV"},
      {"li.b_algo h2 a", "LI[class~=\"b_algo\"] H2 A"},
      {"div#content_left div[class~=c-container]", "DIV[id=\"content_left\"] DIV[class~=\"c-container\"]"},
      {"h3.pt a[name=\"dttl\"]", "H3[class~=\"pt\"] A[name=\"dttl\"]"},
      {" a > b + c ~ d , e ", "A > B + C ~ D , E"},
      {"a >b", "A > B"},
      {"div>p", "DIV>P"},
      {"a:hover(x)", "A:HOVER(X)"},
      {"a,", "A , *"},
      {"*.x.y#z", "*[class~=\"x\"][class~=\"y\"][id=\"z\"]"},
      {"p.a b", "P[class~=\"a\"] B"},
      {"[A]", "*[a]"},
      {"[ a = 'x y' ]", "*[a=\"x y\"]"},
      {"[a==b][c!=d][e~f][g|=h][i^=j][k$=l][m*=n]",
       "*[a=\"b\"][c!=\"d\"][e~=\"f\"][g|=\"h\"][i^=\"j\"][k$=\"l\"][m*=\"n\"]"},
      {"[a=\"&amp;&lt;\"]", "*[a=\"&<\"]"},
      {"[a='']", "*[a=\"\"]"},
      {"#a&amp;", "*[id=\"a&amp;\"]"},  // id and class names are never decoded
      {"/* comment */div p", "DIV P"},
      {"div/* comment */", "DIV/* COMMENT */"},  // "/" only starts a part of its own
      {"/p", "P"},
      {"中文.类", "中文[class~=\"类\"]"},
      {"a\n>\tb", "A > B"},
  };
  for (const auto& c : cases) EXPECT_EQ(U8(DumpSelector(ParseSelector(U16(c.selector)))), c.dump) << c.selector;
}

struct SelectorErrorCase {
  const char* selector;
  const char* message;
};

TEST(SelectorParser, RejectsBadAttributeConditions) {
  LiveElementCheck live;
  const SelectorErrorCase cases[] = {
      {"[a?]", "无法解析CSS Attribute操作符[1,3]"},
      {"[a=b c]", "无法解析Attribute值[1,6]"},
      {"[a=]", "无法解析Attribute值[1,5]"},
      {"div\n  [a", "无法解析CSS Attribute操作符[2,5]"},
      {"[a='x", "无法解析Attribute值[1,6]"},
      {"[a=x", "无法解析Attribute值[1,5]"},
      {"p [a % b]", "无法解析CSS Attribute操作符[1,6]"},
      {"a\"b\"", "无法解析CSS选择器[1,2]"},
      {"a]", "无法解析CSS选择器[1,2]"},
  };
  auto doc = Parse("<a>x</a>");
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorOf([&] { ParseSelector(U16(c.selector)); }), c.message) << c.selector;
    EXPECT_EQ(ErrorOf([&] { doc->SimpleCSSSelector(U16(c.selector)); }), c.message) << c.selector;
  }
}

struct MatchCase {
  const char* html;
  const char* selector;
  const char* found;  // tag names (#id) in result order
};

TEST(SelectorSearch, FindsTheExpectedElementsInOrder) {
  LiveElementCheck live;
  const MatchCase cases[] = {
      {"<p id=1><p id=2></p><p id=3>", "p", "P#1 P#2 P#3"},
      {"<div id=o><div id=i><p id=1></p></div><p id=2></p></div>", "div > p", "P#2 P#1"},
      {"<div id=o><div id=i><p id=1></p></div><p id=2></p></div>", "div p", "P#1 P#2"},
      {"<div id=a><div id=b><div id=c></div></div></div>", "div div", "DIV#b DIV#c"},
      {"<b>x</b><!--c-->", "*", "#DOCUMENT B #TEXT #COMMENT"},
      {"<b>x</b>", "", "#DOCUMENT B #TEXT"},
      {"<b>x</b>", "i,", "#DOCUMENT B #TEXT"},
      {"<a id=1 class='x y'><a id=2 class=x><a id=3 class=y>", ".x.y", "A#1"},
      {"<a id=1 class=x><a id=2 class='x y'>", "#2.x", "A#2"},
      {"<p class=x id=1><b class=x id=2>", "p.x", "P#1"},
      {"<p class=x id=1><b class=x id=2>", "p .x", "B#2"},
      {"<div><p>", "div>p", ""},
      {"<A HREF=x id=1>", "a[href]", "A#1"},
      {"<a id=1 class='result c-container'>", "[class~=c-container]", "A#1"},
      {"<a id=1 class='result c-container'>", ".c-container", "A#1"},
      {"<a id=1 class='result c-container'>", "[class*='t c-c']", "A#1"},
      {"<a id=1 class='result c-container'>", "[class^='result c-container']", ""},
      {"<a id=1 class='result c-container'>", "[class^=res]", "A#1"},
      {"<a id=1 class='result c-container'>", "[class$=iner]", "A#1"},
      {"<a id=1 class='result c-container'>", "[class*='']", ""},
      {"<a id=1 class='a \"b c\"'>", "[class~='\"b c\"']", "A#1"},
      {"<a id=1 class='a \"b c\"'>", "[class~=b]", ""},
      {"<a id=1 lang=en><a id=2 lang=en-US><a id=3 lang=en_GB><a id=4 lang=english>", "[lang|=en]",
       "A#1 A#2 A#3"},
      {"<a id=1><a id=2 name=x><a id=3 name=y>", "a[name!=x]", "A#3"},
      {"<a id=1 name=X>", "a[name=x]", ""},
      {"<a id=1 name=\"t&amp;t\">", "a[name='t&amp;t']", "A#1"},
      {"<p id=1></p>a<!--c--><b id=2></b> <i id=3></i><i id=4>", "p + b, b + i", "B#2 I#3"},
      {"<p id=1></p><b id=2></b><i id=3></i><i id=4>", "p ~ i", "I#3 I#4"},
      {"<p id=1></p>t<i id=3></i><i id=4>", "p + i", "I#3"},
      {"<div id=a><p id=1></p><p id=2></p></div>", "div#a p, p#2, p", "P#1 P#2"},
      {"<ul><li id=1><li id=2></ul>", "ul li li", "LI#2"},
      // Class words: whole words between spaces only; quotes join words.
      {"<a id=1 class='xc-container'><a id=2 class='c-container-x'><a id=3 class='x\tc-container'>",
       ".c-container", "A#3"},
      {"<a id=1 class='c-container'><a id=2 class='c-containe'><a id=3 class=' c-container '>",
       "a.c-container", "A#1 A#3"},
      {"<a id=1 class='\"a b\" b'><a id=2 class=\"b&quot;\"><a id=3 class='\"b\" b'>", "[class~=b]", "A#1 A#3"},
      {"<a id=1 class='a b'>", "[class~='']", ""},
      {"<a id=1 class='\"a b c\"'><a id=2 class='a b c'>", "[class~=b]", "A#2"},
      {"<a id=1 class=\"'a b c'\"><a id=2 class=\"a b c\">", "[class~=b]", "A#2"},
      // Unread attribute tables: the wanted text elsewhere in the tag, or
      // written with a character reference, or in other letter case.
      {"<a id=1 title=c-container class=x><a id=2 class='c&#45;container'><A ID=3 CLASS=c-container>",
       ".c-container", "A#2 A#3"},
      {"<a id=1 class=C-CONTAINER><a id=2 data-x=1><a id=3 x=data>", "[class~=c-container], [x*=data]", "A#3"},
      {"<a id=1 href='/s?a=1&amp;b=2'><a id=2 href='/s?a=1&b=2'>", "a[href$='&b=2']", "A#1 A#2"},
  };
  for (const auto& c : cases) {
    auto doc = Parse(c.html);
    EXPECT_EQ(Names(doc->SimpleCSSSelector(U16(c.selector))), c.found) << c.html << "  " << c.selector;
  }
}

// An unread attribute table is refused from the tag text alone when the
// text can hold neither the wanted text nor a reference; the wanted text
// or a reference at any place of any length of tag, up to its last unit,
// must still reach the table.
TEST(SelectorSearch, WantedTextAtEveryPlaceOfTheTagReachesTheTable) {
  const std::string want = "c-container";
  for (size_t len = 0; len <= 40; ++len) {
    for (size_t at = 0; at <= len; ++at) {
      std::string filler(len, 'x');
      for (size_t i = 0; i < len; i += 3) filler[i] = ' ';
      const std::string plain = filler.substr(0, at) + want + filler.substr(at);
      const std::string referenced = filler.substr(0, at) + "c&#45;container" + filler.substr(at);
      // Its '&' among the tag's last units.
      const std::string lateReference = filler.substr(0, at) + "c-contain&#101;r" + filler.substr(at);
      for (const std::string& value : {plain, referenced, lateReference}) {
        for (const char* close : {"\">", "\" x>", "\"\n>"}) {
          auto doc = Parse("<a class=\"" + value + close);
          EXPECT_EQ(Names(doc->SimpleCSSSelector(u"a[class*=c-container]")), "A") << value << close;
        }
      }
    }
  }
}

TEST(SelectorSearch, StartsAtTheElementItself) {
  LiveElementCheck live;
  auto doc = Parse("<div id=a><div id=b></div><p><div id=c>");
  auto a = doc->GetChildren(0);
  EXPECT_EQ(Names(a->SimpleCSSSelector(u"div")), "DIV#a DIV#b DIV#c");
  EXPECT_EQ(Names(a->SimpleCSSSelector(u"p div")), "DIV#c");
  // Without an owner there are no siblings to find.
  auto list = a->SimpleCSSSelector(u"div");
  doc = nullptr;
  a = nullptr;
  EXPECT_EQ(Names(list->GetItems(0)->SimpleCSSSelector(u"div#a ~ *")), "");
  EXPECT_EQ(Names(list->GetItems(0)->SimpleCSSSelector(u"div#a + *")), "");
  EXPECT_EQ(Names(list->GetItems(0)->SimpleCSSSelector(u"div ~ p")), "P") << "b still has its owner";
}

std::u16string ReadPage(const char* name) {
  std::ifstream f(std::string(ZQE_HTML_TEST_DATA) + "/" + name, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return U16(ss.str());
}

struct EngineQuery {
  const char* selector;
  int count;
  const char* firstText;
};

TEST(SelectorSearch, EngineQueriesOnAResultPage) {
  LiveElementCheck live;
  auto doc = ParseHtmlDocument(ReadPage("serp_like.html"));
  const EngineQuery queries[] = {
      {"div#content_left div[class~=c-container]", 3, "第一条 结果\n    2020-01-01\u00A0-\u00A0摘要一\n    a.example/1\n  "},
      {"h3.t a", 2, "第一条 结果"},
      {"div.f13 a.c-showurl", 1, "a.example/1"},
      {"div.c-abstract span.newTimeFactor_before_abs", 1, "2020-01-01\u00A0-\u00A0"},
      {"li.b_algo", 2, nullptr},
      {"li.b_algo h2 a", 2, "Bing one"},
      {"div.b_attribution cite", 1, "c.example"},
      {"ul#m-result li.res-list", 2, nullptr},
      {"h3.res-title a", 1, "360 one"},
      {"p.res-linkinfo cite", 1, "e.example"},
      {"div.results div.rb", 1, nullptr},
      {"h3.pt a[name=\"dttl\"]", 1, "Sogou one"},
      {"div.fb cite", 1, "f.example"},
      {"div.srg", 1, nullptr},
      {"div.g div.rc h3.r a", 2, "Google one"},
      {"title", 1, "测试页 & 结果"},
  };
  for (const auto& q : queries) {
    auto list = doc->SimpleCSSSelector(U16(q.selector));
    EXPECT_EQ(list->GetCount(), q.count) << q.selector;
    if (q.firstText && list->GetCount() > 0) {
      EXPECT_EQ(U8(list->GetItems(0)->GetInnerText()), q.firstText) << q.selector;
    }
  }
  // The second Bing entry holds the third one: its LI was never closed.
  auto bing = doc->SimpleCSSSelector(u"li.b_algo");
  EXPECT_EQ(bing->GetItems(1)->GetOwner(), bing->GetItems(0));
  EXPECT_EQ(U8(bing->GetItems(1)->GetInnerText()), "Bing twosnippet <two>\n  answer\n");
}

TEST(FindElements, GroupsMatchesByParent) {
  LiveElementCheck live;
  auto doc = Parse("<div><a id=1 class=x><a id=3></a></a><a id=2 class=y></a><b class=x></b></div>");
  auto div = doc->GetChildren(0);
  EXPECT_EQ(Names(div->FindElements(u"A", u"", false)), "A#1 A#2 A#3");
  EXPECT_EQ(Names(div->FindElements(u"a", u"", true)), "A#1 A#2");
  EXPECT_EQ(Names(div->FindElements(u"", u"class=x", true)), "A#1 B");
  EXPECT_EQ(Names(div->FindElements(u"", u"CLASS=\"x\" id=1", false)), "A#1");
  EXPECT_EQ(Names(div->FindElements(u"a", u"class=X", false)), "");
  EXPECT_EQ(div->FindElements(u"", u"", true)->GetCount(), 3);
  EXPECT_EQ(Names(doc->FindElements(u"div", u"", false)), "DIV") << "the start is never included";
  EXPECT_EQ(Names(div->FindElements(u"div", u"", false)), "");
  auto named = Parse("<a name=\"t&amp;t\" id=1>");
  EXPECT_EQ(Names(named->FindElements(u"a", u"name=t&t", false)), "A#1");
  EXPECT_EQ(Names(named->FindElements(u"a", u"name=t&amp;t", false)), "") << "filter values are not decoded";
}

// Up to 60 tokens of five tags, opened (with a numbered id and maybe a
// class), closed or text, in random order: unclosed, misnested and nested
// matches of every kind.
std::string RandomMisnestedPage(std::mt19937& gen) {
  auto pick = [&](std::initializer_list<const char*> options) { return options.begin()[gen() % options.size()]; };
  std::string html;
  for (int t = 0, n = 1 + static_cast<int>(gen() % 60); t < n; ++t) {
    const char* tag = pick({"div", "p", "li", "a", "b"});
    switch (gen() % 4) {
      case 0: html += std::string("</") + tag + ">"; break;
      case 1: html += "t"; break;
      default:
        html += std::string("<") + tag + " id=" + std::to_string(t) + pick({"", " class=x", " class=y", " class='x y'"}) + ">";
    }
  }
  return html;
}

// Chains of descendant combinators are answered by one walk in document
// order; held against the state search, which answers every selector, on
// random pages (unclosed and misnested tags, nested matches) and chains.
TEST(SelectorSearch, DescendantChainsAgreeWithTheStateSearch) {
  LiveElementCheck live;
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::printf("DescendantChainsAgreeWithTheStateSearch seed %u\n", seed);
  std::mt19937 gen(seed);
  auto pick = [&](std::initializer_list<const char*> options) { return options.begin()[gen() % options.size()]; };
  auto ids = [](const TIHtmlElementList& list) {
    std::string out;
    for (int32_t i = 0; i < list.GetCount(); ++i) {
      auto e = list.GetItems(i);
      out += U8(e->GetTagName()) + "#" + U8(e->GetAttributes(u"id")) + " ";
    }
    return out;
  };
  int found = 0;
  for (int round = 0; round < 300; ++round) {
    const std::string html = RandomMisnestedPage(gen);
    auto doc = Parse(html);
    const auto& root = static_cast<const THtmlElement&>(*doc);
    for (int q = 0; q < 10; ++q) {
      std::string selector;
      for (int k = 0, n = 1 + static_cast<int>(gen() % 4); k < n; ++k) {
        if (k) selector += pick({" ", "  ", "\t"});
        selector += std::string(pick({"div", "p", "li", "a", "b", "*", ""})) + pick({"", "", ".x", ".y", "[id]"});
      }
      const TCSSSelectorItemGroup group = ParseSelector(U16(selector));
      ASSERT_TRUE(selector_detail::IsDescendantChain(group)) << selector;
      TRef<IHtmlElementList> inOrder(new TIHtmlElementList), states(new TIHtmlElementList);
      selector_detail::SearchChainInOrder(root, group[0], static_cast<TIHtmlElementList&>(*inOrder));
      selector_detail::SearchStates(root, group, static_cast<TIHtmlElementList&>(*states));
      const std::string expected = ids(static_cast<TIHtmlElementList&>(*states));
      ASSERT_EQ(ids(static_cast<TIHtmlElementList&>(*inOrder)), expected)
          << "round " << round << " '" << selector << "' on " << html;
      found += states->GetCount() > 1;
    }
  }
  EXPECT_GT(found, 300) << "too few queries with several matches to compare orders";
}

// The first match asked of a parsed selector, from the document and from
// elements inside it, is the element the whole list starts with: for
// descendant chains (whose walk stops at the first match) and for child,
// sibling and group selectors alike.
TEST(SelectorSearch, FirstMatchIsTheFirstOfTheWholeList) {
  LiveElementCheck live;
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 gen(seed);
  auto pick = [&](std::initializer_list<const char*> options) { return options.begin()[gen() % options.size()]; };
  int found = 0;
  for (int round = 0; round < 200; ++round) {
    const std::string html = RandomMisnestedPage(gen);
    auto doc = Parse(html);
    const TRef<IHtmlElementList> all = doc->SimpleCSSSelector(u"*");
    for (int q = 0; q < 10; ++q) {
      std::string selector;
      for (int k = 0, n = 1 + static_cast<int>(gen() % 4); k < n; ++k) {
        if (k) selector += pick({" ", " ", " > ", " + ", " ~ ", " , "});
        selector += std::string(pick({"div", "p", "li", "a", "b", "*"})) + pick({"", "", ".x", ".y", "[id]"});
      }
      const TCSSSelectorItemGroup group = ParseSelector(U16(selector));
      for (int from = -1; from < 3; ++from) {
        TRef<IHtmlElement> scope = doc;
        if (from >= 0 && all->GetCount() > 0) scope = all->GetItems(static_cast<int32_t>(gen() % all->GetCount()));
        const TRef<IHtmlElementList> list = scope->SimpleCSSSelector(U16(selector));
        const TRef<IHtmlElement> expected = list->GetCount() > 0 ? list->GetItems(0) : TRef<IHtmlElement>();
        ASSERT_EQ(FirstCSSMatch(*scope, group).get(), expected.get())
            << "round " << round << " '" << selector << "' from " << from << " on " << html;
        found += expected.get() != nullptr;
      }
    }
  }
  EXPECT_GT(found, 1000) << "too few queries with a match";
}

// A flat page of many siblings and a deep one of many nested tags: the
// sibling and descendant searches must not revisit what they have seen.
TEST(SelectorSearch, WidePagesWithSiblingCombinators) {
  LiveElementCheck live;
  std::u16string page;
  for (int i = 0; i < 20000; ++i) page += u"<p></p><!----><i></i>";
  auto doc = ParseHtmlDocument(page);
  EXPECT_EQ(doc->SimpleCSSSelector(u"p ~ i")->GetCount(), 20000);
  EXPECT_EQ(doc->SimpleCSSSelector(u"p + i")->GetCount(), 20000);
  EXPECT_EQ(doc->SimpleCSSSelector(u"* + p")->GetCount(), 19999);
  EXPECT_EQ(doc->SimpleCSSSelector(u"p ~ p ~ p")->GetCount(), 19998);
}

}  // namespace
}  // namespace zqe::html::test
