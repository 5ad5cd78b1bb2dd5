// The engine base's text services, configuration, abort protocol, and the
// registry.
#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "search/HtmlClean.h"
#include "search/Mask.h"
#include "search/SEManager.h"

namespace zqe {
namespace {

// The removal as the behaviour states it: find both markers from the
// start, delete, search again. Quadratic; only for checking the fast pass.
std::u16string NaiveRemove(std::u16string s, std::u16string_view open, std::u16string_view close) {
  for (;;) {
    const size_t o = s.find(open);
    const size_t cs = s.find(close);
    if (o == std::u16string::npos || cs == std::u16string::npos) return s;
    const size_t c = cs + close.size() - 1;
    if (c <= o) return s;
    s.erase(o, c - o + 1);
  }
}

// The narrow vector path, and the wide one where this processor has it.
std::vector<bool> CleanPaths() {
  if (clean_detail::HasWidePath()) return {false, true};
  return {false};
}

std::u16string NaiveClean(std::u16string_view html) {
  std::u16string s = NaiveRemove(std::u16string(html), u"<!--", u"-->");
  s = NaiveRemove(s, u"<script", u"</script>");
  s = NaiveRemove(s, u"<!--//<![CDATA", u"//]]>-->");
  return CollapseWhiteSpace(s);
}

TEST(CleanHtml, Table) {
  const struct {
    const char16_t* in;
    const char16_t* out;
  } cases[] = {
      {u"<body>a<!--x-->b<script>c</script>d", u"<body>abd"},
      {u"<body>a-->b<!--c", u"<body>a-->b<!--c"},
      {u"<!-->", u""},                          // the closer overlaps the opener
      {u"a<!<!--x-->--b-->c", u"ac"},           // a marker made by a deletion
      {u"<!--a--><!--b-->", u""},
      {u"<SCRIPT>x</SCRIPT>", u"<SCRIPT>x</SCRIPT>"},  // case-sensitive
      {u"<script>a<!--b</script>c-->d", u"<script>ad"},  // comments go first
      {u"  a \t\r\n b\u3000\u00A0c  ", u"a b c "},
      {u"\u2028\u2029x\u200Bx\u0085", u"x\u200Bx "},  // U+200B is not a separator
  };
  for (const auto& c : cases) {
    EXPECT_EQ(U16ToUtf8(TSEInstanceBase::CleanHtml(c.in)), U16ToUtf8(c.out)) << U16ToUtf8(c.in);
    EXPECT_EQ(U16ToUtf8(NaiveClean(c.in)), U16ToUtf8(c.out)) << U16ToUtf8(c.in);
  }
}

TEST(CleanHtml, AgreesWithTheRepeatedSearchOnRandomTexts) {
  const uint32_t seed = std::random_device{}();
  std::mt19937 rng(seed);
  const std::u16string_view pieces[] = {u"<", u"!", u"-", u"->", u"<!--", u"-->", u"x",
                                        u" ", u"<script", u"</script>", u"//]]>", u"<![CDATA"};
  for (int n = 0; n < 20000; ++n) {
    std::u16string s;
    const int len = static_cast<int>(rng() % 14);
    for (int i = 0; i < len; ++i) s += pieces[rng() % std::size(pieces)];
    for (const bool wide : CleanPaths())
      ASSERT_EQ(U16ToUtf8(clean_detail::CleanHtmlText(s, wide)), U16ToUtf8(NaiveClean(s)))
          << "seed " << seed << (wide ? " wide" : " narrow") << " input '" << U16ToUtf8(s) << "'";
  }
}

// Later markers made of many pieces left by earlier removals: "<s<!---->cr"
// is "<scr" once the comment is gone, and a marker can straddle several
// such joins, with white space of every kind around them. Pieces that are
// a marker's start or end but for one unit ("<sx", "</scrip") make joins
// that nearly hold one.
TEST(CleanHtml, MarkersJoinedAcrossSeveralRemovalsAgreeWithTheRepeatedSearch) {
  const uint32_t seed = std::random_device{}();
  std::mt19937 rng(seed);
  const std::u16string_view pieces[] = {u"<!---->", u"<!--x-->", u"<", u"s", u"c", u"r", u"i", u"p", u"t",
                                        u">", u"/", u"!", u"-", u"]", u"[", u"CDATA", u"-->", u"<!--",
                                        u" ", u"\t\n", u"\u3000", u"x", u"<script>", u"</script>",
                                        u"<sc", u"<sx", u"<scrip", u"cript>", u"ript>", u"</scr", u"</sx",
                                        u"//]]", u"//]x", u"<!--//<![CD", u"<!--//<!xCD"};
  for (int n = 0; n < 20000; ++n) {
    std::u16string s;
    const int len = static_cast<int>(rng() % 60);
    for (int i = 0; i < len; ++i) s += pieces[rng() % std::size(pieces)];
    for (const bool wide : CleanPaths())
      ASSERT_EQ(U16ToUtf8(clean_detail::CleanHtmlText(s, wide)), U16ToUtf8(NaiveClean(s)))
          << "seed " << seed << (wide ? " wide" : " narrow") << " input '" << U16ToUtf8(s) << "'";
  }
  // Built rather than drawn: a script marker spelled across comment joins.
  EXPECT_EQ(U16ToUtf8(TSEInstanceBase::CleanHtml(u"a<s<!---->cr<!--1-->ipt>b</<!---->script>c")), "ac");
}

// The body's end is searched for in the page as it came, before any
// removal: a "</body" inside a comment or script still ends the body, and
// one spelled across a removed comment does not. Long plain runs put the
// pieces at every offset of the vector blocks.
TEST(CleanHtmlBody, CutsAtTheFirstBodyEndAndCleansWhatIsBefore) {
  const uint32_t seed = std::random_device{}();
  std::mt19937 rng(seed);
  const std::u16string_view pieces[] = {u"</body", u"</body>", u"</bod", u"</b>", u"/b", u"<", u"/", u"b",
                                        u"ody", u"<!--", u"-->", u"<!---->", u"<script>", u"</script>", u" ",
                                        u"\u4E2D", u"abcdefghijklmnopqrstuvwxyz0123456789", u"x"};
  for (int n = 0; n < 20000; ++n) {
    std::u16string s;
    const int len = static_cast<int>(rng() % 40);
    for (int i = 0; i < len; ++i) s += pieces[rng() % std::size(pieces)];
    const size_t cut = s.find(u"</body");
    for (const bool wide : CleanPaths()) {
      const TCleanText body = clean_detail::CleanHtmlBody(s, wide);
      ASSERT_EQ(body.Cut, cut != std::u16string::npos) << "seed " << seed << " input '" << U16ToUtf8(s) << "'";
      const std::u16string expected = body.Cut ? NaiveClean(std::u16string_view(s).substr(0, cut)) : u"";
      ASSERT_EQ(U16ToUtf8(body.Text), U16ToUtf8(expected))
          << "seed " << seed << (wide ? " wide" : " narrow") << " input '" << U16ToUtf8(s) << "'";
    }
  }
}

// The single-pass removal as it was before its marker search looked at
// blocks of units, kept as the reference for the faster one.
std::u16string ReferenceRemoveSpans(std::u16string_view In, std::u16string_view Open,
                           std::u16string_view Close) {
  constexpr size_t npos = std::u16string_view::npos;
  std::u16string Out;
  Out.reserve(In.size());
  size_t rest = 0;                       // start of the unread input
  size_t nextOpen = In.find(Open);       // first opener in In at or after rest
  size_t nextClose = In.find(Close);     // first closer in In at or after rest

  // First occurrence of M in Out + In[rest..], in those combined
  // coordinates, or npos.
  auto findFirst = [&](std::u16string_view M, size_t& cached) -> size_t {
    const size_t tail = std::min(Out.size(), M.size() - 1);
    if (tail > 0) {
      std::u16string window(Out.end() - static_cast<std::ptrdiff_t>(tail), Out.end());
      window.append(In.substr(rest, M.size() - 1));
      const size_t p = window.find(M);
      if (p != npos && p < tail) return Out.size() - tail + p;
    }
    if (cached != npos && cached < rest) cached = In.find(M, rest);
    if (cached == npos) return npos;
    return Out.size() + (cached - rest);
  };

  for (;;) {
    const size_t o = findFirst(Open, nextOpen);
    const size_t cStart = findFirst(Close, nextClose);
    if (o == npos || cStart == npos) break;
    const size_t c = cStart + Close.size() - 1;  // last unit of the closer
    if (c <= o) break;
    // Delete o..c of the combined text. The closer cannot end inside Out
    // (Out holds no whole closer), so c lies in the unread input.
    const size_t outLen = Out.size();
    if (o < outLen) {
      Out.resize(o);
    } else {
      Out.append(In.substr(rest, o - outLen));
    }
    rest = rest + (c - outLen) + 1;
  }
  Out.append(In.substr(std::min(rest, In.size())));
  return Out;
}

std::u16string ReferenceClean(std::u16string_view html) {
  std::u16string s = ReferenceRemoveSpans(html, u"<!--", u"-->");
  s = ReferenceRemoveSpans(s, u"<script", u"</script>");
  s = ReferenceRemoveSpans(s, u"<!--//<![CDATA", u"//]]>-->");
  return CollapseWhiteSpace(s);
}

// Pages of markers, long plain runs (longer than a block), CJK text and
// white space, in random order, so that markers fall at every offset of a
// block and near the end of the input.
TEST(CleanHtml, AgreesWithThePreviousImplementationOnRandomPages) {
  const uint32_t seed = std::random_device{}();
  std::mt19937 rng(seed);
  const std::u16string_view pieces[] = {
      u"<", u"!", u"-", u"/", u"]", u">", u"<!--", u"-->", u"<script", u"</script>", u"<!--//<![CDATA",
      u"//]]>-->", u"//]]>", u"<![CDATA", u"<div class=\"c-container\">", u"</div>", u"\u4E2D\u6587",
      u" ", u"  \t\n", u"\u3000", u"\u00A0", u"abcdefghijklmnopqrstuvwxyz0123456789", u"x", u"--", u"<!-"};
  for (int n = 0; n < 20000; ++n) {
    std::u16string s;
    const int len = static_cast<int>(rng() % 40);
    for (int i = 0; i < len; ++i) s += pieces[rng() % std::size(pieces)];
    for (const bool wide : CleanPaths())
      ASSERT_EQ(U16ToUtf8(clean_detail::CleanHtmlText(s, wide)), U16ToUtf8(ReferenceClean(s)))
          << "seed " << seed << (wide ? " wide" : " narrow") << " input '" << U16ToUtf8(s) << "'";
  }
}

// The eight-at-a-time pass against the rule unit by unit: every kind of
// white space and units next to them, mixed with runs of plain text long
// enough to fill whole eight-unit steps, at every length and offset.
TEST(CollapseWhiteSpace, AgreesWithTheRuleUnitByUnit) {
  const uint32_t seed = std::random_device{}();
  std::mt19937 rng(seed);
  const char16_t units[] = {0x09, 0x0A, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x200A, 0x2028, 0x202F,
                            0x205F, 0x3000, 0x00, 0x08, 0x0E, 0x1F, 0x21, 0x84, 0x200B, 0x205E, 0x2060,
                            0x3001, u'a', 0x4E00, 0xFFFF};
  for (int n = 0; n < 20000; ++n) {
    std::u16string s;
    for (int i = 0, len = static_cast<int>(rng() % 30); i < len; ++i) {
      if (rng() % 4) {
        s.push_back(units[rng() % std::size(units)]);
      } else {
        for (int k = static_cast<int>(rng() % 20); k > 0; --k) s.push_back(static_cast<char16_t>(0x4E00 + rng() % 100));
      }
    }
    std::u16string expected;
    for (const char16_t c : s) {
      if (!IsCollapsibleWhiteSpace(c)) expected.push_back(c);
      else if (!expected.empty() && expected.back() != u' ') expected.push_back(u' ');
    }
    for (const bool wide : CleanPaths()) {
      ASSERT_EQ(clean_detail::CollapseWhiteSpace(s, wide), expected)
          << "seed " << seed << (wide ? " wide" : " narrow") << " input '" << U16ToUtf8(s) << "'";
      // No markers here, so the page cleaning is the collapse; the parse
      // trusts what it says of U+0000.
      const TCleanText page = clean_detail::CleanHtmlPage(s, wide);
      ASSERT_EQ(page.Text, expected) << "seed " << seed;
      ASSERT_EQ(page.HoldsNul, expected.find(u'\0') != std::u16string::npos)
          << "seed " << seed << (wide ? " wide" : " narrow") << " input '" << U16ToUtf8(s) << "'";
    }
  }
}

TEST(CollapseWhiteSpace, EveryUnicodeSeparatorCounts) {
  // Zs, Zl and Zp of the BMP, plus the control and extra characters.
  const char16_t ws[] = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x2005,
                         0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
  for (char16_t c : ws) EXPECT_TRUE(IsCollapsibleWhiteSpace(c)) << std::hex << int(c);
  const char16_t notWs[] = {0x08, 0x0E, 0x1F, 0x21, 0x180E, 0x200B, 0xFEFF, 0x2060, u'a', 0x4E00};
  for (char16_t c : notWs) EXPECT_FALSE(IsCollapsibleWhiteSpace(c)) << std::hex << int(c);
}

TEST(IsUrlFiltered, Table) {
  const struct {
    const char16_t* url;
    const char16_t* shortUrl;
    const char16_t* filter;
    bool filtered;
  } cases[] = {
      {u"http://docs/SAMPLE/page", u"docs", u"sample", true},
      {u"http://docs/page", u"x.SAMPLE.cn", u"sample", true},
      {u"http://docs/page", u"docs", u"sample", false},
      {u"http://docs/page", u"", u"", false},               // no entries
      {u"http://docs/page", u"", u"sample|", true},        // empty entry: no short URL
      {u"http://docs/page", u"docs", u"sample|", false},
      {u"http://docs/page", u"", u"|sample", true},
      {u"http://docs/page", u"docs", u"q||z", false},
      {u"http://docs/page", u"", u"q||z", true},
      {u"http://a b/page", u"", u" b/", true},              // blanks belong to the entry
      {u"http://ab/page", u"x", u" b/", false},
      {u"http://x/a|b", u"x", u"\"a|b\"", true},            // quoted entry keeps its "|"
      {u"http://x/a\"b", u"x", u"\"a\"\"b\"", true},        // doubled quote
      {u"http://x/page", u"x", u"http*page", true},
      {u"http://x/page", u"x", u"?ttp://x/pag?", true},     // ? at both ends: no stars added
      {u"http://x/page", u"x", u"?ttp://x/pa?", false},
      {u"http://x/2020", u"x", u"[0-9][0-9][0-9][0-9]", true},
      {u"http://x/y", u"x", u"[!x]", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TSEInstanceBase::IsUrlFiltered(c.url, c.shortUrl, c.filter), c.filtered)
        << U16ToUtf8(c.url) << " / " << U16ToUtf8(c.shortUrl) << " / " << U16ToUtf8(c.filter);
  }
  EXPECT_THROW(TSEInstanceBase::IsUrlFiltered(u"u", u"s", u"ok|[abc"), EMaskError);
  // Entries are tried in order: a match before the bad mask ends the walk.
  EXPECT_TRUE(TSEInstanceBase::IsUrlFiltered(u"u", u"s", u"u|[abc"));
}

TEST(InitEngine, EmptyValuesGetDefaultsOthersAreKept) {
  TSEInstancePtr se = NewSEInstance(u"baidu", 7);
  se->InitEngine(u"", u"", u"", u"", u"", 0);
  EXPECT_EQ(se->HttpUserAgent(),
            u"Mozila/5.0 (Windows NT 6.1; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
            u"Chrome/52.0.2743.48 Safari/537.36 Vivaldi/1.3.534.3");
  EXPECT_EQ(se->HttpAcceptCharSet(), u"GB2312,utf-8;q=0.7,*;q=0.7");
  EXPECT_EQ(se->HttpAcceptLanguage(), u"zh-CN,zh;q=0.9,en-US;q=0.8,en;q=0.7");
  EXPECT_EQ(se->HttpTimeOut(), 10000);
  se->InitEngine(u"h", u"f%s", u"ua", u"cs", u"lang", -5);
  EXPECT_EQ(se->Url(), u"h");
  EXPECT_EQ(se->UrlFmt(), u"f%s");
  EXPECT_EQ(se->HttpUserAgent(), u"ua");
  EXPECT_EQ(se->HttpAcceptCharSet(), u"cs");
  EXPECT_EQ(se->HttpAcceptLanguage(), u"lang");
  EXPECT_EQ(se->HttpTimeOut(), -5);
  EXPECT_EQ(se->ID(), 7);
  EXPECT_EQ(se->Name(), u"baidu");
  EXPECT_EQ(se->ErrorCode(), 0);
  EXPECT_EQ(se->Engine(), 0);
  EXPECT_FALSE(se->Aborted());
}

TEST(UserAgents, TwentyEntriesAndDrawsVary) {
  ASSERT_EQ(TSEInstanceBase::UserAgents().size(), 20u);
  std::set<std::u16string> seen;
  for (int i = 0; i < 400; ++i) seen.insert(TSEInstanceBase::GetRandomUserAgent());
  EXPECT_GT(seen.size(), 10u);
  for (const auto& ua : seen) {
    EXPECT_NE(std::find(TSEInstanceBase::UserAgents().begin(), TSEInstanceBase::UserAgents().end(), ua),
              TSEInstanceBase::UserAgents().end());
  }
}

std::vector<std::string> Matching(const std::vector<std::string>& lines, const std::string& part) {
  std::vector<std::string> out;
  for (const auto& l : lines)
    if (l.find(part) != std::string::npos) out.push_back(l);
  return out;
}

TEST(Abort, OnAnIdleObjectReturnsAtOnce) {
  test::DebugCapture cap;
  TSEInstancePtr se = NewSEInstance(u"bing", 1);
  se->Abort();
  se->Abort();
  EXPECT_TRUE(se->Aborted());
  EXPECT_EQ(Matching(cap.lines(), "TBaseZQMan.Cancle").size(), 2u);
  EXPECT_TRUE(Matching(cap.lines(), "Cancle wait code").empty());
}

TEST(Abort, BeforeCheckIsForgottenAndAfterCheckReturnsAtOnce) {
  TSEInstancePtr se = NewSEInstance(u"bing", 1);
  se->InitEngine(u"", u"http://127.0.0.1:1/s?q=%s", u"", u"", u"", 0);
  se->Abort();
  // Port 1 refuses: the check runs to its end (a fetch error, -3) instead
  // of stopping (-2).
  se->Check(u"How vexingly quick daft zebras", u"", false);
  EXPECT_EQ(se->ErrorCode(), -3);
  EXPECT_FALSE(se->Aborted());
  test::DebugCapture cap;
  se->Abort();
  se->Abort();
  EXPECT_EQ(Matching(cap.lines(), "TBaseZQMan.Cancle wait code:0").size(), 2u);
}

TEST(Check, BadUrlFormatLeavesCheckAndTheObjectStaysIdle) {
  TSEInstancePtr se = NewSEInstance(u"bing", 1);
  se->InitEngine(u"", u"no-scheme/%s", u"", u"", u"", 0);
  EXPECT_ANY_THROW(se->Check(u"abc", u"", false));
  EXPECT_EQ(se->ErrorCode(), 1);
  se->Abort();  // would hang if the idle event had not been set again
  EXPECT_TRUE(se->Aborted());
}

}  // namespace
}  // namespace zqe
