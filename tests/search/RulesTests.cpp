// Result rules from the definition file: selectors and a date mask that
// replace an extractor's compiled-in ones, the check of bad ones, and the
// snippet returned as a hit's remark.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "SearchTestData.h"
#include "TestSupport.h"
#include "html/HtmlParser.h"
#include "platform/Text.h"
#include "search/Mask.h"
#include "search/SEExtract.h"
#include "search/SEManager.h"
#include "search/SERules.h"

namespace zqe {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

using test::kFox;
using test::kJugs;

// A layout none of the compiled-in extractors knows. The first entry
// carries kJugs only outside its snippet.
constexpr char16_t kChangedLayout[] =
    u"<html><head><title>q</title></head><body><main class=\"serp-next\">"
    u"<article class=\"hit\"><a class=\"t\" href=\"http://one.example.com/a\">pack my box with five dozen "
    u"liquor jugs, sphinx of black quartz judge my vow</a><p class=\"s\">Nothing to see in this one</p>"
    u"<span class=\"u\">one.example.com/a 2022-07-08 ›</span></article>"
    u"<article class=\"hit\"><a class=\"t\" href=\" http://two.example.com/b \">Two</a>"
    u"<p class=\"s\">  The quick brown fox jumps over the lazy dog near the river bank  </p>"
    u"<span class=\"u\">two.example.com/b 2021-03-04·</span>"
    u"<span class=\"v\">two.example.com/b - 2021-3-14</span></article>"
    u"</main></body></html>";

TSERules ChangedLayoutRules(std::u16string_view Cite) {
  TSERules r;
  r.EntrySelector = u"main.serp-next article.hit, div.never";
  r.LinkSelector = u"a.t";
  r.CiteSelector = Cite;
  r.SnippetSelector = u"p.s";
  r.RemarkSnippet = true;
  return r;
}

TEST(Rules, OverridesFindHitsInAChangedLayoutThatCompiledInRulesDoNotKnow) {
  const struct {
    const char16_t* engine;
    const char16_t* cite;
    const char16_t* sentence;
    int code;
    const char16_t* shortUrl;
    const char16_t* date;
  } cases[] = {
      {u"bing", u"span.u", kFox, 0, u"two.example.com/b ·", u"2021-03-04"},
      {u"360so", u"span.u", kFox, 0, u"two.example.com/b ·", u"2021-03-04"},
      // Google has no compiled-in date mask, so without one a citation stays whole.
      {u"google", u"span.u", kFox, 0, u"two.example.com/b 2021-03-04·", u""},
      {u"sougou", u"span.v", kFox, 0, u"two.example.com/b -", u"2021-3-14"},
      // Baidu's display URL is taken whole; its date comes from the abstract.
      {u"baidu", u"span.u", kFox, 0, u"two.example.com/b 2021-03-04·", u""},
      // Text outside the snippet is not tested.
      {u"bing", u"span.u", kJugs, 1, u"", u""},
      {u"baidu", u"span.u", kJugs, 1, u"", u""},
  };
  for (const auto& c : cases) {
    const std::string where = U16ToUtf8(c.engine) + " " + U16ToUtf8(c.sentence);
    TSEInstancePtr plain = NewSEInstance(c.engine, 1);
    plain->CheckPage(u"http://q/", kChangedLayout, c.sentence, u"", false);
    EXPECT_EQ(plain->ErrorCode(), -6) << where;

    TSEInstancePtr se = NewSEInstance(c.engine, 1);
    se->SetRules(ChangedLayoutRules(c.cite));
    se->CheckPage(u"http://q/", kChangedLayout, c.sentence, u"", false);
    EXPECT_EQ(se->ErrorCode(), c.code) << where;
    if (c.code != 0) continue;
    EXPECT_EQ(U16ToUtf8(se->CheckUrl()), "http://two.example.com/b") << where;
    EXPECT_EQ(U16ToUtf8(se->CheckShortURL()), U16ToUtf8(c.shortUrl)) << where;
    EXPECT_EQ(U16ToUtf8(se->CheckUrlDate()), U16ToUtf8(c.date)) << where;
    EXPECT_EQ(U16ToUtf8(se->CheckRemark()), U16ToUtf8(kFox)) << where;
  }
}

TEST(Rules, ADateMaskOverrideDecidesWhetherTheDateIsSplitOff) {
  const struct {
    const char16_t* mask;
    const char16_t* shortUrl;
    const char16_t* date;
  } cases[] = {
      {u"*[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]?", u"two.example.com/b ·", u"2021-03-04"},
      {u"*2099-*", u"two.example.com/b 2021-03-04·", u""},
  };
  for (const auto& c : cases) {
    TSEInstancePtr se = NewSEInstance(u"bing", 1);
    TSERules r = ChangedLayoutRules(u"span.u");
    r.DateMask = c.mask;
    se->SetRules(r);
    se->CheckPage(u"http://q/", kChangedLayout, kFox, u"", false);
    ASSERT_EQ(se->ErrorCode(), 0) << U16ToUtf8(c.mask);
    EXPECT_EQ(U16ToUtf8(se->CheckShortURL()), U16ToUtf8(c.shortUrl)) << U16ToUtf8(c.mask);
    EXPECT_EQ(U16ToUtf8(se->CheckUrlDate()), U16ToUtf8(c.date)) << U16ToUtf8(c.mask);
  }
}

TEST(Rules, RemarkStaysEmptyWithoutTheRemarkRule) {
  TSEInstancePtr se = NewSEInstance(u"bing", 1);
  TSERules r = ChangedLayoutRules(u"span.u");
  r.RemarkSnippet = false;
  se->SetRules(r);
  se->CheckPage(u"http://q/", kChangedLayout, kFox, u"", false);
  ASSERT_EQ(se->ErrorCode(), 0);
  EXPECT_EQ(se->CheckRemark(), u"");
}

TEST(Rules, RemarkWithoutASnippetSelectorIsTheWholeEntrysText) {
  const std::u16string page =
      u"<html><body><ol><li class=\"b_algo\"><h2><a href=\"http://z/\">Title here</a></h2>"
      u"<p>\t" + std::u16string(kFox) + u"\r\n</p></li></ol></body></html>";
  TSEInstancePtr se = NewSEInstance(u"bing", 1);
  TSERules r;
  r.RemarkSnippet = true;
  se->SetRules(r);
  se->CheckPage(u"http://q/", page, kFox, u"", false);
  ASSERT_EQ(se->ErrorCode(), 0);
  EXPECT_EQ(U16ToUtf8(se->CheckRemark()), "Title here " + U16ToUtf8(kFox));
}

// The first entry's snippet holds the sentence but its link is filtered
// out; the second has no snippet element at all, so it has nothing to
// match, whatever text the entry before it had.
TEST(Rules, AnEntryWithoutItsSnippetElementHasNoTextToMatch) {
  const std::u16string page =
      u"<html><body><main class=\"serp-next\">"
      u"<article class=\"hit\"><a class=\"t\" href=\"http://one.example.com/a\">One</a>"
      u"<p class=\"s\">" + std::u16string(kFox) + u"</p></article>"
      u"<article class=\"hit\"><a class=\"t\" href=\"http://two.example.com/b\">Two</a>"
      u"<div>nothing here</div></article>"
      u"</main></body></html>";
  for (const char16_t* engine : {u"baidu", u"bing", u"sougou", u"360so", u"google"}) {
    TSEInstancePtr se = NewSEInstance(engine, 1);
    se->SetRules(ChangedLayoutRules(u"span.u"));
    se->CheckPage(u"http://q/", page, kFox, u"one.example.com", false);
    EXPECT_EQ(se->ErrorCode(), 1) << U16ToUtf8(engine) << " took " << U16ToUtf8(se->CheckUrl());
    // Unfiltered, the first entry is the hit.
    TSEInstancePtr open = NewSEInstance(engine, 1);
    open->SetRules(ChangedLayoutRules(u"span.u"));
    open->CheckPage(u"http://q/", page, kFox, u"", false);
    ASSERT_EQ(open->ErrorCode(), 0) << U16ToUtf8(engine);
    EXPECT_EQ(U16ToUtf8(open->CheckUrl()), "http://one.example.com/a") << U16ToUtf8(engine);
  }
}

TEST(Rules, ALongSnippetIsCutAt4097UnitsWithoutSplittingASurrogatePair) {
  const std::u16string pair = u"\U0001F600";
  const struct {
    size_t pairAt;  // index of the high surrogate in the snippet
    size_t kept;
  } cases[] = {
      {4096, 4096},  // the pair would straddle the cut: it goes whole
      {4095, 4097},  // the pair ends on the last unit kept
      {5000, 4097},
  };
  for (const auto& c : cases) {
    std::u16string snippet = std::u16string(kFox) + u" ";
    snippet += std::u16string(c.pairAt - snippet.size(), u'x') + pair + std::u16string(200, u'y');
    ASSERT_EQ(snippet[c.pairAt], pair[0]);
    EXPECT_EQ(SnippetRemark(u"  " + snippet + u" \n"), snippet.substr(0, c.kept)) << c.pairAt;

    const std::u16string page = u"<html><body><main class=\"serp-next\"><article class=\"hit\">"
                                u"<a class=\"t\" href=\"http://long/\">L</a><p class=\"s\">" +
                                snippet + u"</p></article></main></body></html>";
    TSEInstancePtr se = NewSEInstance(u"360so", 1);
    se->SetRules(ChangedLayoutRules(u"span.u"));
    se->CheckPage(u"http://q/", page, kFox, u"", false);
    ASSERT_EQ(se->ErrorCode(), 0) << c.pairAt;
    EXPECT_EQ(se->CheckRemark().size(), c.kept) << c.pairAt;
    EXPECT_EQ(se->CheckRemark(), snippet.substr(0, c.kept)) << c.pairAt;
  }
  EXPECT_EQ(SnippetRemark(u" a \t\u3000 b  "), u"a b");
}

std::u16string ParserMessage(std::u16string_view Selector) {
  try {
    html::ParseSelector(Selector);
  } catch (const html::EHtmlParserError& e) {
    return e.Message();
  }
  return u"(no error)";
}

std::u16string MaskMessage(std::u16string_view Mask) {
  try {
    TMask m(Mask);
  } catch (const EMaskError& e) {
    return e.Message();
  }
  return u"(no error)";
}

TEST(Rules, ABadRuleIsReportedOnceAndDropsEveryOverride) {
  const struct {
    const char16_t* key;
    std::u16string TSERules::*field;
    const char16_t* value;
    bool mask;
  } cases[] = {
      {u"entry-selector", &TSERules::EntrySelector, u"div.a, div[class~=", false},
      {u"link-selector", &TSERules::LinkSelector, u"h3 a[href", false},
      {u"cite-selector", &TSERules::CiteSelector, u"div.f13 cite[", false},
      {u"snippet-selector", &TSERules::SnippetSelector, u"p.s, p[class=", false},
      {u"date-mask", &TSERules::DateMask, u"*[0-9", true},
  };
  for (const auto& c : cases) {
    const std::u16string message = c.mask ? MaskMessage(c.value) : ParserMessage(c.value);
    ASSERT_NE(message, u"(no error)") << U16ToUtf8(c.value);
    TSERules r = ChangedLayoutRules(u"span.u");
    r.DateMask = u"*";
    r.*c.field = c.value;
    test::DebugCapture cap;
    EXPECT_FALSE(CheckSERules(r, u"Bing"));
    TSERules fallback;
    fallback.RemarkSnippet = true;
    EXPECT_EQ(r, fallback) << U16ToUtf8(c.key);
    int errors = 0;
    for (const std::string& line : cap.lines()) {
      if (line.find("bad ") == std::string::npos) continue;
      ++errors;
      EXPECT_THAT(line, HasSubstr(U16ToUtf8(c.key)));
      EXPECT_THAT(line, HasSubstr("Bing"));
      EXPECT_THAT(line, HasSubstr(U16ToUtf8(message)));
    }
    EXPECT_EQ(errors, 1) << U16ToUtf8(c.key);
  }
}

TEST(Rules, GoodRulesPassTheCheckUnchanged) {
  TSERules r = ChangedLayoutRules(u"span.u, cite");
  r.DateMask = u"*[0-9]?";
  const TSERules before = r;
  test::DebugCapture cap;
  EXPECT_TRUE(CheckSERules(r, u"bing"));
  EXPECT_EQ(r, before);
  EXPECT_THAT(cap.lines(), ::testing::Not(Contains(HasSubstr("bad "))));
}

TEST(Rules, RegistryCarriesTheDefinitionsRulesToTheEngine) {
  TSEDefRulesTable::Process().Reset();
  const TSERules rules = ChangedLayoutRules(u"span.u");
  TSEDefRulesTable::Process().Set(u"bing", rules);
  std::vector<TSEDefinition> defs(2);
  const char16_t* names[] = {u"bing", u"google"};
  for (size_t i = 0; i < defs.size(); ++i) {
    defs[i].Name = names[i];
    defs[i].ID = static_cast<int32_t>(i + 1);
  }
  TSEInstArr insts;
  LoadSEInstance(defs, insts);
  ASSERT_EQ(insts.size(), 2u);
  EXPECT_EQ(insts[0]->Rules(), rules);
  EXPECT_EQ(insts[1]->Rules(), TSERules{});
  EXPECT_EQ(CreateSEInstance(1, defs)->Rules(), rules);
  FreeSEInstances(insts);
  TSEDefRulesTable::Process().Reset();
}

TEST(Rules, ListsAndSelectorGroupsSplitWhereTheirSeparatorsStandAlone) {
  EXPECT_EQ(SplitRuleList(u" Access check |  | /turing/captcha|x "),
            (std::vector<std::u16string>{u"Access check", u"/turing/captcha", u"x"}));
  EXPECT_TRUE(SplitRuleList(u" | ").empty());
  const struct {
    const char16_t* group;
    std::vector<std::u16string_view> members;
  } cases[] = {
      {u"div.a, li.b h2 a", {u"div.a", u"li.b h2 a"}},
      {u"a[title=\"x, y\"], b", {u"a[title=\"x, y\"]", u"b"}},
      {u"a[title='x,y'],b[c=d]", {u"a[title='x,y']", u"b[c=d]"}},
      {u"a[title=x,y], b", {u"a[title=x,y]", u"b"}},
      {u" , div.a ,", {u"div.a"}},
      {u"h3.pt a[name=\"dttl\"]", {u"h3.pt a[name=\"dttl\"]"}},
  };
  for (const auto& c : cases) EXPECT_EQ(se::SplitSelectorGroup(c.group), c.members) << U16ToUtf8(c.group);
}

// The shipped definition file against small pages in the layouts it names:
// the newer ones give hits the compiled-in rules cannot see, and on the
// layouts the compiled-in rules know, it gives exactly their results.
TEST(Rules, ShippedDefinitionsReadNewerLayoutsAndKeepTheOlderResults) {
  const auto ini = platform::OpenIniFile(Utf8ToU16(ZQE_SHIPPED_ENGINES_INI));
  auto shipped = [&](const char16_t* engine) {
    TSERules r = ReadSERules(*ini, engine);
    EXPECT_TRUE(CheckSERules(r, engine)) << U16ToUtf8(engine);
    EXPECT_TRUE(r.RemarkSnippet) << U16ToUtf8(engine);
    return r;
  };
  const std::u16string fox = kFox;
  auto page = [](const std::u16string& body) { return u"<html><head><title>q</title></head><body>" + body + u"</body></html>"; };
  const struct {
    const char16_t* engine;
    std::u16string html;
    const char16_t* url;
    const char16_t* shortUrl;
  } newer[] = {
      {u"360so",
       page(u"<ul class=\"result\"><li class=\"res-list\"><h3 class=\"res-title \"><a href=\"http://a.example.com/1\">T</a>"
            u"</h3><p class=\"res-desc\">" + fox + u"</p><p class=\"res-linkinfo\"><cite>a.example.com/1 2020-01-05&rsaquo;</cite></p></li></ul>"),
       u"http://a.example.com/1", u"a.example.com/1 \u203A"},
      {u"360so",
       page(u"<ul class=\"result\"><li class=\"res-list referer-news-flow\"><h3 class=\"g-title \"><a href=\"http://n.example.com/2\">T</a>"
            u"</h3><p class=\"mh-txt\">" + fox + u"</p><p class=\"g-linkinfo\"><cite>n.example.com</cite></p></li></ul>"),
       u"http://n.example.com/2", u"n.example.com"},
      {u"sougou",
       page(u"<div class=\"results\"><div class=\"vrwrap\"><h3 class=\"vr-title\"><a href=\"/link?url=abc\">T</a></h3>"
            u"<div class=\"space-txt\">" + fox + u"</div><div class=\"citeurl\">site.example.com</div></div></div>"),
       u"/link?url=abc", u"site.example.com"},
      {u"google",
       page(u"<div id=\"rso\"><div class=\"g\"><div class=\"yuRUbf\"><a href=\"https://g.example.com/x\"><h3>T</h3>"
            u"<cite>g.example.com</cite></a></div><div class=\"VwiC3b\">" + fox + u"</div></div></div>"),
       u"https://g.example.com/x", u""},
      {u"baidu",
       page(u"<div id=\"content_left\"><div class=\"result c-container\"><h3 class=\"t\"><a href=\"http://www.baidu.com/link?url=1\">T</a>"
            u"</h3><div class=\"c-abstract\">" + fox + u"</div><div class=\"f13\"><span class=\"g\">b.example.com/p</span></div></div></div>"),
       u"http://www.baidu.com/link?url=1", u"b.example.com/p"},
  };
  for (const auto& c : newer) {
    const std::string where = U16ToUtf8(c.engine) + ": " + U16ToUtf8(c.url);
    const TSEInstancePtr se = NewSEInstance(c.engine, 0);
    se->SetRules(shipped(c.engine));
    se->CheckPage(u"http://q/", c.html, fox, u"", false);
    ASSERT_EQ(se->ErrorCode(), 0) << where;
    EXPECT_EQ(se->CheckUrl(), c.url) << where;
    EXPECT_EQ(se->CheckShortURL(), c.shortUrl) << where;
    EXPECT_THAT(U16ToUtf8(se->CheckRemark()), HasSubstr(U16ToUtf8(fox))) << where;
  }

  // The layouts the compiled-in rules were written for, as serp-sim serves
  // them, with the hit behind a first entry that does not match.
  const std::u16string miss = u"Nothing in this entry resembles the sentence that is checked";
  const struct {
    const char16_t* engine;
    std::u16string entry;  // %T: the text, %N: the entry's number
    std::u16string before, after;
  } older[] = {
      {u"baidu",
       u"<div class=\"result c-container\"><h3 class=\"t\"><a href=\"http://b.example.com/%N\">T</a></h3><div class=\"c-abstract\">"
       u"<span class=\"newTimeFactor_before_abs\">2019年5月13日&nbsp;-&nbsp;</span>%T</div><div class=\"f13\"><a class=\"c-showurl\" "
       u"href=\"x\">b.example.com/%N</a></div></div>",
       u"<div id=\"content_left\">", u"</div>"},
      {u"360so",
       u"<li class=\"res-list\"><h3 class=\"res-title\"><a href=\"http://a.example.com/%N\">T</a></h3><p class=\"res-desc\">%T</p>"
       u"<p class=\"res-linkinfo\"><cite>a.example.com/%N 2020-01-05&rsaquo;</cite></p></li>",
       u"<ul id=\"m-result\" class=\"result\">", u"</ul>"},
      {u"bing",
       u"<li class=\"b_algo\"><h2><a href=\"http://w.example.com/%N\">T</a></h2><div class=\"b_caption\"><div class=\"b_attribution\">"
       u"<cite>w.example.com/%N 2020-01-05&middot;</cite></div><p>%T</p></div></li>",
       u"<ol id=\"b_results\">", u"</ol>"},
      {u"sougou",
       u"<div class=\"rb\"><h3 class=\"pt\"><a name=\"dttl\" href=\"http://s.example.com/%N\">T</a></h3><div class=\"ft\">%T</div>"
       u"<div class=\"fb\"><cite>s.example.com/%N - 2019-5-13</cite></div></div>",
       u"<div class=\"results\">", u"</div>"},
      {u"google",
       u"<div class=\"g\"><div class=\"rc\"><h3 class=\"r\"><a href=\"http://g.example.com/%N\">T</a></h3><cite>g.example.com/%N</cite>"
       u"<span class=\"st\">%T</span></div></div>",
       u"<div id=\"search\"><div class=\"srg\">", u"</div></div>"},
  };
  auto fill = [](std::u16string s, const std::u16string& text, char16_t n) {
    for (size_t at; (at = s.find(u"%T")) != std::u16string::npos;) s.replace(at, 2, text);
    for (size_t at; (at = s.find(u"%N")) != std::u16string::npos;) s.replace(at, 2, 1, n);
    return s;
  };
  for (const auto& c : older) {
    const std::u16string html = page(c.before + fill(c.entry, miss, u'1') + fill(c.entry, fox, u'2') + c.after);
    for (const std::u16string& sentence : {fox, miss, std::u16string(kJugs)}) {
      const std::string where = U16ToUtf8(c.engine) + ": " + U16ToUtf8(sentence);
      const TSEInstancePtr builtin = NewSEInstance(c.engine, 0);
      builtin->CheckPage(u"http://q/", html, sentence, u"", false);
      const TSEInstancePtr se = NewSEInstance(c.engine, 0);
      TSERules rules = shipped(c.engine);
      rules.RemarkSnippet = false;
      se->SetRules(rules);
      se->CheckPage(u"http://q/", html, sentence, u"", false);
      EXPECT_EQ(se->ErrorCode(), builtin->ErrorCode()) << where;
      if (c.engine == std::u16string_view(u"google") && sentence == fox) {
        // The compiled-in entry is the whole group, whose first link is
        // another result's; the shipped rules take each result as an entry.
        EXPECT_EQ(builtin->CheckUrl(), u"http://g.example.com/1");
        EXPECT_EQ(se->CheckUrl(), u"http://g.example.com/2");
        continue;
      }
      EXPECT_EQ(se->CheckUrl(), builtin->CheckUrl()) << where;
      EXPECT_EQ(se->CheckShortURL(), builtin->CheckShortURL()) << where;
      EXPECT_EQ(se->CheckUrlDate(), builtin->CheckUrlDate()) << where;
    }
    // The hit is the second entry's, as the compiled-in rules find it.
    const TSEInstancePtr se = NewSEInstance(c.engine, 0);
    se->SetRules(shipped(c.engine));
    se->CheckPage(u"http://q/", html, fox, u"", false);
    EXPECT_EQ(se->ErrorCode(), 0) << U16ToUtf8(c.engine);
    EXPECT_THAT(U16ToUtf8(se->CheckUrl()), ::testing::EndsWith("/2")) << U16ToUtf8(c.engine);
  }
}

}  // namespace
}  // namespace zqe
