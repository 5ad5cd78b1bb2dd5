#include "TestUtil.h"

#include <cctype>
#include <iterator>
#include <random>
#include <set>
#include <vector>
#include "html/HtmlScan.h"
#include "html/HtmlTokenizer.h"

namespace zqe::html::test {
namespace {

struct TreeCase {
  const char* html;
  const char* dump;
};

TEST(TreeBuilder, BuildsTheExpectedTrees) {
  LiveElementCheck live;
  const TreeCase cases[] = {
      {"", ""},
      {"x<b>y</b>z", R"(#TEXT"x" B/(#TEXT"y") #TEXT"z")"},
      // Unbalanced and misnested tags.
      {"<div><p>a</div>b", R"(DIV/(P(#TEXT"a")) #TEXT"b")"},
      {"<p>a<p>b</p></p>", R"(P/(#TEXT"a" P/(#TEXT"b")))"},
      {"a</p>b", R"(#TEXT"a" #TEXT"b")"},
      {"<b><i>x</b>y</i>", R"(B/(I(#TEXT"x")) #TEXT"y")"},
      {"<ul><li>a<li>b</ul>", R"(UL/(LI(#TEXT"a" LI(#TEXT"b"))))"},
      {"<DiV>x</dIv>", R"(DIV/(#TEXT"x"))"},
      // Void elements, self-closed tags, and SOURCE which is not void.
      {"<br>x", R"(BR #TEXT"x")"},
      {"<br></br>x", R"(BR/ #TEXT"x")"},
      {"<p><img src=a><br/>t</p>", R"(P/(IMG[src="a"] BR #TEXT"t"))"},
      {"<source><p>x", R"(SOURCE(P(#TEXT"x")))"},
      {"<div><div/>x</div>", R"(DIV/(DIV #TEXT"x"))"},
      {"<div/>x</div>", R"(DIV #TEXT"x")"},
      // Attribute reading.
      {"<a href=/path/>x", R"(A[href="/path"] #TEXT"x")"},
      {"<a title='a>b'>x", R"(A[title="a"](#TEXT"b'>x"))"},
      {R"(<a title="a>b">x)", R"(A[title="a>b"](#TEXT"x"))"},
      {R"(<A HREF="x&amp;y" Id=1 checked>)", R"(A[checked="" id="1" href="x&y"])"},
      {"<a x=1 X=2 y = 3>", R"(A[x="2" y="3"])"},
      {"<a b=>", R"(A[b=""])"},
      {"1 < 2 and 3 > 2", R"(#TEXT"1 " 2[and="" 3=""](#TEXT" 2"))"},
      {"<>x>y", R"(>X(#TEXT"y"))"},
      {"</>a", R"(#TEXT"a")"},
      // Scripts and styles.
      {R"(<script>if (a < b) { s = "</div>"; t = '</script>'; }</script>x)",
       R"(SCRIPT/(#SCRIPT"if (a < b) { s = \"</div>\"; t = '</script>'; }") #TEXT"x")"},
      {R"(<script>s = "a\"</script>"; t = 'b\\'</script>)",
       R"(SCRIPT/(#SCRIPT"s = \"a\\\"</script>\"; t = 'b\\\\'"))"},
      {"<script> <!-- a </script> -->  b</script>",
       R"(SCRIPT/(#SCRIPT" <!-- a </script> -->  " #TEXT"b"))"},
      {"<script>/* </script> */ x = 1 / 2;</script>", R"(SCRIPT/(#SCRIPT"/* </script> */ x = 1 / 2;"))"},
      {"<script>a = 1; // ok\nb = '<'; </SCRIPT >", R"(SCRIPT/(#SCRIPT"a = 1; // ok\nb = '<'; "))"},
      {"<script>//<![CDATA[\nx();\n//]]></script><p>y", R"(SCRIPT/(#SCRIPT"//<![CDATA[\nx();\n//]]>") P(#TEXT"y"))"},
      {"<script>x</scripts></script>", R"(SCRIPT/(#SCRIPT"x</scripts>"))"},
      {"<script>x = '&amp;'", R"(SCRIPT(#SCRIPT"x = '&'"))"},
      {"<script src=a.js />x", R"(SCRIPT[src="a.js"] #TEXT"x")"},
      {"<script></script>", R"(SCRIPT/(#SCRIPT""))"},
      {"<style>a{b:c}<b></style>x", R"(STYLE/(#STYLE"a{b:c}<b>") #TEXT"x")"},
      {"<style> <!-- a --></style>", R"(STYLE/(#STYLE" <!-- a -->"))"},
      {"<style><!-- a -->  b</style>", R"(STYLE/(#STYLE"<!-- a -->  " #TEXT"b"))"},
      // Declarations, comments and processing instructions.
      {"<!DOCTYPE html><!doctype HTML PUBLIC \"x\">", R"(#DOCTYPE"html" #DOCTYPE"HTML PUBLIC \"x\"")"},
      {R"(<!ELEMENT x><?xml version="1.0"?><![CDATA[a>b]]>)",
       R"(#COMMENT"<!ELEMENT x>" #COMMENT"<?xml version=\"1.0\"?>" #COMMENT"<![CDATA[a>b]]>")"},
      {"<!-- a > b -->x<!---->y<!-->z", R"(#COMMENT"<!-- a > b -->" #TEXT"x" #COMMENT"<!---->" #TEXT"y" #COMMENT"<!-->" #TEXT"z")"},
      {R"(<!-- "-->" -->x)", R"(#COMMENT"<!-- \"-->" #TEXT"\" -->x")"},
      {R"(<!-- a="b --><p>)", R"(#COMMENT"<!-- a=\"b -->" P)"},
      {R"(<![CDATA[ " ]]><p>)", R"(#COMMENT"<![CDATA[ \" ]]>" P)"},
      {R"(<?pi a=">"?><p>)", R"(#COMMENT"<?pi a=\">\"?>" P)"},
      {"<!-- a &amp; b -->", R"(#COMMENT"<!-- a & b -->")"},
      // Text: never trimmed, references decoded, a U+0000 ends the page.
      {" <b> </b>\n", R"(#TEXT" " B/(#TEXT" ") #TEXT"\n")"},
      {"a&amp;lt;&nbsp;b", "#TEXT\"a&lt;\u00A0b\""},
  };
  for (const auto& c : cases) EXPECT_EQ(Dump(c.html), c.dump) << c.html;
}

TEST(TreeBuilder, ZeroEndsTheTextEvenInsideTokens) {
  LiveElementCheck live;
  std::u16string page = u"<b>x</b><!-- ";
  page.push_back(u'\0');
  page += u" -->";
  // The comment is cut by the U+0000, so it never ends.
  EXPECT_EQ(ErrorOf([&] { ParseHtmlDocument(page); }), "LineNum:1无法找到Tag结束点:<!-- ");
  std::u16string ok = u"<b>x</b>";
  ok.push_back(u'\0');
  ok += u"<!-- ";
  EXPECT_EQ(U8(ParseHtmlDocument(ok)->GetOuterHtml()), "<b>x</b>");
}

// The parse that keeps the caller's string: the same tree as from a copy,
// the text readable from the tree after the string is gone, and the
// string given back whole when the parse fails.
TEST(TreeBuilder, ParseHtmlTextKeepsTheStringOrGivesItBack) {
  LiveElementCheck live;
  const char16_t* pages[] = {u"", u"<div class=x>a<b>b</b></div>tail", u"<p>x</p>\u4E2D"};
  for (const char16_t* page : pages) {
    std::u16string html = page;
    TRef<IHtmlElement> doc = ParseHtmlText(html);
    EXPECT_TRUE(html.empty());
    EXPECT_EQ(U8(DocumentText(*doc)), U8(page));
    EXPECT_EQ(U8(DumpElementTree(*doc)), U8(DumpElementTree(*ParseHtmlDocument(page))));
    // Any element of the tree leads to the same text.
    if (doc->GetChildrenCount() > 0) {
      EXPECT_EQ(U8(DocumentText(*doc->GetChildren(0))), U8(page));
    }
  }
  std::u16string cut = u"<b>x</b>";
  cut.push_back(u'\0');
  cut += u"<i>hidden</i>";
  EXPECT_EQ(U8(DocumentText(*ParseHtmlText(cut))), "<b>x</b>");

  const std::u16string broken = u"<div>ok</div><!-- open";
  std::u16string html = broken;
  EXPECT_EQ(ErrorOf([&] { ParseHtmlText(html); }), "LineNum:1无法找到Tag结束点:<!-- open");
  EXPECT_EQ(U8(html), U8(broken));
}

struct ErrorCase {
  const char* html;
  const char* message;
};

TEST(TreeBuilder, UnterminatedTokensFailWithTheirMessages) {
  LiveElementCheck live;
  const ErrorCase cases[] = {
      {"a <b", "LineNum:1无法找到Tag结束点:<b"},
      {"x\n\n< text without end", "LineNum:3无法找到Tag结束点:< text without end"},
      {"<div>ok</div><!-- open", "LineNum:1无法找到Tag结束点:<!-- open"},
      {"<!-- a -> b >", "LineNum:1无法找到Tag结束点:<!-- a -> b >"},
      {"<![CDATA[ a > b", "LineNum:1无法找到Tag结束点:<![CDATA[ a > b"},
      {"<?xml >", "LineNum:1无法找到Tag结束点:<?xml >"},
      {"<!DOCTYPE html", "LineNum:1无法找到Tag结束点:<!DOCTYPE html"},
      {"<a title=\"x>y", "LineNum:1无法找到Tag结束点:<a title=\"x>y"},
      {"<", "LineNum:1无法找到Tag结束点:<"},
      {"<p>\n<script> <!-- x", "未完结的Script行:2;列:16;"},
      {"<script><!--", "未完结的Script行:1;列:13;"},
      {"<script><!-->", "未完结的Script行:1;列:14;"},
      {"<style><!-- x\n y", "未完结的Style行:2;列:3;"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf([&] { Parse(c.html); }), c.message) << c.html;
  // The message quotes at most 100 characters of the token.
  std::string longTag = "<" + std::string(150, 'a');
  EXPECT_EQ(ErrorOf([&] { Parse(longTag); }), "LineNum:1无法找到Tag结束点:" + longTag.substr(0, 100));
}

TEST(TreeBuilder, PlainScriptsAndStylesRunToTheEndWithoutError) {
  LiveElementCheck live;
  EXPECT_EQ(Dump("<script>var s = 'unclosed"), R"(SCRIPT(#SCRIPT"var s = 'unclosed"))");
  EXPECT_EQ(Dump("<style>\n<!-- a"), R"(STYLE(#STYLE"\n<!-- a"))");
}

TEST(TreeBuilder, RecordsLinesAndColumnsInUtf16Units) {
  LiveElementCheck live;
  auto doc = Parse("x\n  <b>y</b>\r<i>\n中文<u>😀<s>");
  EXPECT_EQ(doc->GetSourceLineNum(), 0);
  EXPECT_EQ(doc->GetSourceColNum(), 0);
  auto pos = [&](std::u16string_view sel) {
    auto e = doc->SimpleCSSSelector(sel)->GetItems(0);
    return std::to_string(e->GetSourceLineNum()) + ":" + std::to_string(e->GetSourceColNum());
  };
  EXPECT_EQ(pos(u"b"), "2:3");
  EXPECT_EQ(pos(u"i"), "2:12");  // a CR does not start a line
  EXPECT_EQ(pos(u"u"), "3:3");
  EXPECT_EQ(pos(u"s"), "3:8");  // the emoji counts two units
  auto text = doc->GetChildren(0);
  EXPECT_EQ(text->GetSourceLineNum(), 1);
  EXPECT_EQ(text->GetSourceColNum(), 1);
  auto script = Parse("<p>\n <script>\n  x()</script>")->SimpleCSSSelector(u"script > *")->GetItems(0);
  EXPECT_EQ(U8(script->GetTagName()), "#SCRIPT");
  EXPECT_EQ(script->GetSourceLineNum(), 2);
  EXPECT_EQ(script->GetSourceColNum(), 10);
}

// Line numbers come from the list of line feeds, found sixteen units at a
// time with a unit-by-unit tail: every length and feed position against
// the search unit by unit.
TEST(TreeBuilder, LineFeedListAgreesWithTheUnitByUnitSearch) {
  std::u16string s;
  for (int k = 0; k < 70; ++k) s += (k * 7) % 5 == 0 ? u'\n' : static_cast<char16_t>(k % 3 ? u'a' + k % 26 : 0x4E2D);
  for (size_t n = 0; n <= s.size(); ++n) {
    std::vector<size_t> want, got;
    for (size_t q = 0; q < n; ++q)
      if (s[q] == u'\n') want.push_back(q);
    FindLineFeeds(s.data(), n, got);
    ASSERT_EQ(got, want) << n;
  }
}

// The tokenizer's skips look at sixteen units as bytes: units that share a
// stop's low byte (U+013C, U+FF3E), units that saturate to 0x00 or 0xFF,
// and the NUL stop, at every start and end around the block edges.
TEST(TreeBuilder, SkipsStopAtTheFirstStopLikeAPlainSearch) {
  std::mt19937 rng(11);
  const char16_t units[] = {u'a', u'<', u'>', u'&', u'"', u'\0', 0x013C, 0xFF3E, 0x8026, 0x00FF, 0x4E2D, u'x'};
  auto plain = [](const std::u16string& s, size_t i, size_t n, std::u16string_view stops) {
    for (; i < n; ++i)
      if (stops.find(s[i]) != std::u16string_view::npos) return i;
    return n;
  };
  for (int round = 0; round < 300; ++round) {
    std::u16string s;
    for (int k = static_cast<int>(rng() % 70); k > 0; --k) s.push_back(rng() % 3 ? u'a' : units[rng() % std::size(units)]);
    for (size_t i = 0; i <= s.size(); ++i) {
      const size_t n = i + rng() % (s.size() - i + 1);
      ASSERT_EQ((FindAny<u'<', u'&'>(s.data(), i, n)), plain(s, i, n, u"<&")) << round << " " << i << ".." << n;
      ASSERT_EQ((FindAny<u'>'>(s.data(), i, n)), plain(s, i, n, u">")) << round << " " << i << ".." << n;
      ASSERT_EQ((FindAny<u'\0'>(s.data(), i, n)), plain(s, i, n, std::u16string_view(u"\0", 1)))
          << round << " " << i << ".." << n;
    }
  }
  // One NUL in a long run of units outside ASCII, at every place.
  for (size_t at = 0; at <= 100; ++at) {
    std::u16string s(100, 0x4E2D);
    if (at < s.size()) s[at] = u'\0';
    for (size_t i = 0; i <= at && i < 40; ++i)
      ASSERT_EQ((FindAny<u'\0'>(s.data(), i, s.size())), at) << i << " " << at;
  }
}

// Tag names are looked up through a small table of recent spellings: many
// names sharing its slots, in mixed case and of every length around the
// table's limit, must each come out as their own upper-case name, and an
// end tag must close the element of its own name.
TEST(TreeBuilder, EveryTagSpellingFindsItsOwnName) {
  LiveElementCheck live;
  std::mt19937 rng(7);
  std::string page, want;
  for (int n = 0; n < 3000; ++n) {
    std::string name("t");
    name.append(std::to_string(rng() % 300)).append(rng() % 14, 'x');
    std::string spelled = name;
    for (char& c : spelled)
      if (rng() % 2) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    page.append("<").append(spelled).append(">.</").append(name).append(">");
    want += upper + "/(#TEXT\".\") ";
  }
  if (!want.empty()) want.pop_back();
  EXPECT_EQ(Dump(page), want);
}

// Every tag element and closing tag spans its tag to the first ">" outside
// double quotes, and has the name, self-closing mark and attributes that
// splitting its own text gives. Random markup from the pieces that steer
// the tokenizer: names with quotes or digits first, stray "/", quotes
// around ">", closing tags of every shape.
TEST(TreeBuilder, EveryTagAgreesWithItsSplitText) {
  LiveElementCheck live;
  static const char* const kPieces[] = {"<a", "<A", "<b", "</a", "</B", "<br", "</", "<", ">", "/>", "/", " ",
                                        "\t", "\"", "'", "x", "=", "y=\"1\"", "<p ", "<?", "<!--", "-->", "<!x",
                                        "&amp;", "<a\"b", "<1", "</ a", "<a/b"};
  auto upper = [](std::u16string_view s) {
    std::u16string u(s);
    for (char16_t& c : u) c = AsciiUpper(c);
    return U8(u);
  };
  // A tag runs to the first ">" outside double quotes, searched from the
  // second unit after its "<"; the pages have one line, so the column
  // gives the place.
  auto tagAt = [](const std::u16string& page, const IHtmlElement& tag) {
    const size_t at = static_cast<size_t>(tag.GetSourceColNum() - 1);
    bool quoted = false;
    for (size_t i = at + 2; i < page.size(); ++i) {
      if (page[i] == u'"') quoted = !quoted;
      if (page[i] == u'>' && !quoted) return U8(page.substr(at, i + 1 - at));
    }
    return std::string("(no end)");
  };
  std::mt19937 rng(3);
  int parsed = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string html;
    for (int n = 1 + static_cast<int>(rng() % 16); n > 0; --n) html += kPieces[rng() % std::size(kPieces)];
    html += rng() % 2 ? ">" : "\">";
    TRef<IHtmlElement> doc;
    try {
      doc = Parse(html);
    } catch (const EHtmlParserError&) {
      continue;  // a tag without end: the same error on either path
    }
    ++parsed;
    std::vector<TRef<IHtmlElement>> work{doc};
    while (!work.empty()) {
      TRef<IHtmlElement> e = work.back();
      work.pop_back();
      for (int32_t i = 0; i < e->GetChildrenCount(); ++i) work.push_back(e->GetChildren(i));
      const std::u16string name = e->GetTagName();
      if (name.empty() || name[0] == u'#') continue;
      const std::u16string orig = e->GetOrignal();
      EXPECT_EQ(U8(orig), tagAt(U16(html), *e)) << html;
      const TTagParts parts = SplitTag(orig);
      EXPECT_FALSE(parts.Closing) << html;
      EXPECT_EQ(upper(parts.Name), U8(name)) << html;
      if (parts.SelfClosing) {
        EXPECT_EQ(e->GetChildrenCount(), 0) << html;
      }
      std::set<std::u16string> keys;
      for (const TAttributeItem& a : ParseAttributeList(parts.Rest)) keys.insert(AsciiLowerCase(a.Key));
      size_t listed = 0;
      e->EnumAttributeNames(&listed, [](void* count, const std::u16string&, const std::u16string&) {
        ++*static_cast<size_t*>(count);
        return true;
      });
      EXPECT_EQ(listed, keys.size()) << html;
      if (const TRef<IHtmlElement> close = e->GetCloseTag()) {
        const std::u16string closeText = close->GetOrignal();
        EXPECT_EQ(U8(closeText), tagAt(U16(html), *close)) << html;
        const TTagParts closing = SplitTag(closeText);
        EXPECT_TRUE(closing.Closing) << html;
        EXPECT_EQ(upper(closing.Name), U8(name)) << html;
      }
    }
  }
  EXPECT_GT(parsed, 2000);  // the pieces must leave most pages whole
}

TEST(TreeBuilder, TagClassesFollowTheTable) {
  EXPECT_EQ(GetTagClass(u"br"), uint32_t{tcInline | tcVoid});
  EXPECT_EQ(GetTagClass(u"Title"), uint32_t{tcBlock | tcClass8 | tcClass16});
  EXPECT_EQ(GetTagClass(u"PRE"), uint32_t{tcBlock | tcClass8 | tcClass16});
  EXPECT_EQ(GetTagClass(u"textarea"), uint32_t{tcInline | tcClass16});
  EXPECT_EQ(GetTagClass(u"COL"), uint32_t{tcBlock | tcVoid});
  EXPECT_EQ(GetTagClass(u"source"), uint32_t{tcInline});
  EXPECT_EQ(GetTagClass(u"blink"), 0u);
  EXPECT_EQ(GetTagClass(u""), 0u);
  // The builder's own void test agrees with the table for every void name.
  for (auto name : {u"META", u"LINK", u"BASE", u"FRAME", u"IMG", u"BR", u"WBR", u"EMBED", u"HR", u"INPUT",
                    u"KEYGEN", u"COL", u"COMMAND", u"DEVICE"}) {
    EXPECT_TRUE(GetTagClass(name) & tcVoid);
    std::u16string page = u"<";  // not u"<" + s: see CharReferencesTest
    page += name;
    page += u">x";
    auto doc = ParseHtmlDocument(page);
    EXPECT_EQ(doc->GetChildrenCount(), 2) << U8(name) << " takes no children";
  }
  for (auto name : {u"AREA", u"PARAM", u"SOURCE", u"TRACK"}) EXPECT_FALSE(GetTagClass(name) & tcVoid);
}

TEST(TreeBuilder, ParseAttributeListKeepsSourceOrderAndRawValues) {
  const TAttributeDynArray expected = {
      {u"A", u"1"}, {u"b", u"x y"}, {u"c", u""}, {u"d", u"&amp;"}, {u"=e", u""}, {u"f", u"it's"}, {u"g", u""},
  };
  EXPECT_EQ(ParseAttributeList(u" A=1 b = \"x y\" c d='&amp;' =e f=\"it's\" g="), expected);
  EXPECT_TRUE(ParseAttributeList(u"  ").empty());
}

}  // namespace
}  // namespace zqe::html::test
