// The five result extractors and the page step of a check (validity,
// verification, body cut, cleaning, parsing, extraction) on pages written
// to show each engine's layout.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "SearchTestData.h"
#include "platform/Text.h"
#include "search/Mask.h"
#include "search/SEBaidu.h"
#include "search/SEBing.h"
#include "search/SEManager.h"

namespace zqe {
namespace {

constexpr char16_t kBaiduA[] = u"原创检测引擎把句子发送给搜索引擎并在结果页中查找它";
constexpr char16_t kBaiduWeather[] = u"今天北京的天气晴朗适合外出散步游玩";
constexpr char16_t kAbsent[] = u"这是一个在页面里面根本不存在的完全不同的句子内容";
using test::kFox;
using test::kJugs;
constexpr char16_t kZebra[] = u"How vexingly quick daft zebras jump over the tall wooden fence";
constexpr char16_t kJackdaws[] = u"Jackdaws love my big sphinx of quartz and the five boxing wizards jump quickly";
constexpr char16_t kOpal[] = u"Crazy Fredrick bought many very exquisite opal jewels from the market";

struct PageCase {
  const char16_t* engine;
  const char* page;
  const char16_t* sentence;
  const char16_t* filter;
  bool strict;
  int code;
  const char16_t* url;
  const char16_t* shortUrl;
  const char16_t* date;
};

const PageCase kPageCases[] = {
    // Baidu: related-search, knowledge-answer and link-less entries come first.
    {u"baidu", "baidu.html", kBaiduA, u"", false, 0, u"http://www.SAMPLE.com/doc/1.html", u"www.sample.com/doc/...", u"2019-5-13"},
    {u"baidu", "baidu.html", kBaiduA, u"sample", false, 0, u"http://other.example.org/b", u"", u"3天前"},
    {u"baidu", "baidu.html", kBaiduA, u"sample|", false, 0, u"http://third.example.net/c", u"third.example.net/c", u"2019年5月"},
    {u"baidu", "baidu.html", kBaiduA, u"SAMPLE|OTHER.example|third", false, 1, u"", u"", u""},
    {u"baidu", "baidu.html", kBaiduWeather, u"", false, 0, u"http://other.example.org/b", u"", u"3天前"},
    {u"baidu", "baidu.html", u"  原创检测引擎把句子发送给搜索引擎并在结果页中查找它 ", u"", true, 0, u"http://www.SAMPLE.com/doc/1.html", u"www.sample.com/doc/...", u"2019-5-13"},
    {u"baidu", "baidu.html", kAbsent, u"", false, 1, u"", u"", u""},
    {u"baidu", "baidu.html", u"", u"", false, 1, u"", u"", u""},
    // 360 Search: no date without a character after the day.
    {u"360so", "360.html", kFox, u"", false, 0, u"http://a.example.com/1", u"site/page 2020-01-05", u""},
    {u"360so", "360.html", kFox, u"a.example", false, 0, u"http://b.example.com/2", u"site/page ›", u"2020-01-05"},
    {u"360so", "360.html", kJugs, u"", true, 0, u"http://c.example.com/3", u"c.cn/3", u""},
    {u"360so", "360.html", u" ", u"", false, 1, u"", u"", u""},
    // Bing: the link selector starts with the entry's own selector.
    {u"BING", "bing.html", kZebra, u"", false, 0, u"http://bing-a.example.com/x", u"bing-a.example.com/x ·", u"2021-03-04"},
    {u"bing", "bing.html", kZebra, u"BING-A", false, 0, u"http://bing-b.example.com/y", u"", u""},
    {u"bing", "bing.html", kZebra, u"bing-|\"\"", false, 1, u"", u"", u""},
    // Sogou: only a[name="dttl"] links; one- or two-digit month and day.
    {u"sougou", "sogou.html", kJackdaws, u"", false, 0, u"http://baike.example.com/item", u"baike -", u"2019-5-13"},
    {u"sougou", "sogou.html", kJackdaws, u"baike", false, 0, u"http://news.example.com/n", u"news.example.com/n\u00A0-", u"2018-11-20"},
    // Google: a group is one entry, with the group's first link.
    {u"google", "google.html", kOpal, u"", false, 0, u"https://g1.example.com/first", u"", u""},
    {u"google", "google.html", kOpal, u"g1.example", false, 1, u"", u"", u""},
    {u"google", "google.html", kFox, u"", false, 1, u"", u"", u""},
};

TEST(Extractors, PagesOfEachEngineGiveTheirFirstUnfilteredMatchingEntry) {
  for (const PageCase& c : kPageCases) {
    const std::string where = U16ToUtf8(c.engine) + " " + c.page + " sentence=" + U16ToUtf8(c.sentence) +
                              " filter=" + U16ToUtf8(c.filter);
    const std::u16string page = test::ReadSearchPage(c.page);
    ASSERT_FALSE(page.empty()) << where;
    TSEInstancePtr se = NewSEInstance(c.engine, 1);
    ASSERT_TRUE(se) << where;
    se->CheckPage(u"http://q/", page, c.sentence, c.filter, c.strict);
    EXPECT_EQ(se->ErrorCode(), c.code) << where;
    if (c.code != 0) continue;
    EXPECT_EQ(U16ToUtf8(se->CheckUrl()), U16ToUtf8(c.url)) << where;
    EXPECT_EQ(U16ToUtf8(se->CheckShortURL()), U16ToUtf8(c.shortUrl)) << where;
    EXPECT_EQ(U16ToUtf8(se->CheckUrlDate()), U16ToUtf8(c.date)) << where;
    EXPECT_EQ(se->CheckRemark(), u"") << where;
  }
}

std::string Dump(const std::vector<TSEEntryReport>& entries) {
  std::string out;
  for (const TSEEntryReport& e : entries) {
    out += U16ToUtf8(e.Link) + "|" + U16ToUtf8(e.ShortUrl) + "|" + U16ToUtf8(e.Date) + "|" +
           (e.Matched ? std::string("matched") : U16ToUtf8(e.SkipReason)) + "\n";
  }
  return out;
}

TEST(Extractors, BaiduReportsWhyEachEntryWasSkipped) {
  TSEInstancePtr se = NewSEInstance(u"baidu", 1);
  std::vector<TSEEntryReport> entries;
  se->CheckPage(u"http://q/", test::ReadSearchPage("baidu.html"), kBaiduA, u"sample|", false, &entries);
  EXPECT_EQ(Dump(entries),
            "|||related searches\n"
            "|||knowledge answer\n"
            "|||no link\n"
            "|||no link\n"
            "http://www.SAMPLE.com/doc/1.html| www.sample.com/doc/... |2019-5-13|filtered\n"
            "http://other.example.org/b||3天前|filtered\n"
            "http://third.example.net/c|third.example.net/c|2019年5月|matched\n");
}

TEST(Extractors, SogouSkipsLinksWithoutTheTitleNameAndNoMatchEntriesAreReported) {
  TSEInstancePtr se = NewSEInstance(u"sougou", 1);
  std::vector<TSEEntryReport> entries;
  se->CheckPage(u"http://q/", test::ReadSearchPage("sogou.html"), kAbsent, u"", false, &entries);
  EXPECT_EQ(se->ErrorCode(), 1);
  EXPECT_EQ(Dump(entries),
            "|||no link\n"
            "http://baike.example.com/item|||no match\n"
            "http://news.example.com/n|||no match\n");
}

// Inline pages for the date forms and their edge cases.
struct DateCase {
  const char16_t* engine;
  const char16_t* citation;  // Baidu: the abstract's date span
  const char16_t* shortUrl;
  const char16_t* date;
};

std::u16string DatePage(std::u16string_view engine, std::u16string_view citation) {
  const std::u16string text = u"Sphinx of black quartz, judge my vow, the quick onyx goblin jumps";
  if (engine == u"baidu") {
    return u"<html><body><div id=\"content_left\"><div class=\"c-container\"><h3 class=\"t\"><a href=\"http://x/\">t</a></h3>"
           u"<div class=\"c-abstract\"><span class=\"newTimeFactor_before_abs\">" + std::u16string(citation) +
           u"</span>" + text + u"</div></div></div></body></html>";
  }
  if (engine == u"360so") {
    return u"<html><body><ul id=\"m-result\"><li class=\"res-list\"><h3 class=\"res-title\"><a href=\"http://x/\">t</a></h3><p>" +
           text + u"</p><p class=\"res-linkinfo\"><cite>" + std::u16string(citation) + u"</cite></p></li></ul></body></html>";
  }
  if (engine == u"bing") {
    return u"<html><body><ol><li class=\"b_algo\"><h2><a href=\"http://x/\">t</a></h2><div class=\"b_attribution\"><cite>" +
           std::u16string(citation) + u"</cite></div><p>" + text + u"</p></li></ol></body></html>";
  }
  return u"<html><body><div class=\"results\"><div class=\"rb\"><h3 class=\"pt\"><a name=\"dttl\" href=\"http://x/\">t</a></h3><div>" +
         text + u"</div><div class=\"fb\"><cite>" + std::u16string(citation) + u"</cite></div></div></div></body></html>";
}

const DateCase kDateCases[] = {
    {u"baidu", u"2019年5月13日 - 文章", u"", u"2019-5-13"},
    {u"baidu", u"3天前", u"", u"3天前"},
    {u"baidu", u"2019年5月", u"", u"2019年5月"},
    {u"360so", u"site/page 2020-01-05", u"site/page 2020-01-05", u""},
    {u"360so", u"site/page 2020-01-05›", u"site/page ›", u"2020-01-05"},
    {u"360so", u"2020-01-05›", u"›", u"2020-01-05"},
    {u"360so", u"0000-00-00", u"0000-00-00", u""},  // ten characters: never split
    {u"bing", u"www.x.cn 2022-12-31 ", u"www.x.cn 2022-12-31", u""},  // trimmed first
    {u"bing", u"www.x.cn/2022-12-319", u"www.x.cn/9", u"2022-12-31"},
    {u"sougou", u"baike - 2019-5-13", u"baike -", u"2019-5-13"},
    {u"sougou", u"a.cn/p - 2019-12-1x", u"a.cn/p -", u"2019-12-1x"},
    {u"sougou", u"2019-5-13", u"2019-5-13", u""},
    {u"sougou", u"site 2019/5/13", u"site 2019/5/13", u""},
};

TEST(Extractors, DateFormsAndCitationSplits) {
  for (const DateCase& c : kDateCases) {
    const std::string where = U16ToUtf8(c.engine) + " '" + U16ToUtf8(c.citation) + "'";
    TSEInstancePtr se = NewSEInstance(c.engine, 1);
    se->CheckPage(u"http://q/", DatePage(c.engine, c.citation),
                  u"Sphinx of black quartz, judge my vow, the quick onyx goblin jumps", u"", true);
    ASSERT_EQ(se->ErrorCode(), 0) << where;
    EXPECT_EQ(U16ToUtf8(se->CheckShortURL()), U16ToUtf8(c.shortUrl)) << where;
    EXPECT_EQ(U16ToUtf8(se->CheckUrlDate()), U16ToUtf8(c.date)) << where;
  }
}

// Citations of every length around the ten units a date split needs, on a
// one-entry page per engine. Baidu takes the text as its display URL and
// its abstract date; Google has no citation step.
std::u16string CitationPage(std::u16string_view engine, std::u16string_view citation) {
  const std::u16string text = u"Sphinx of black quartz, judge my vow, the quick onyx goblin jumps";
  if (engine == u"baidu") {
    return u"<html><body><div id=\"content_left\"><div class=\"c-container\"><h3 class=\"t\"><a href=\"http://x/\">t</a></h3>"
           u"<div class=\"c-abstract\"><span class=\"newTimeFactor_before_abs\">" + std::u16string(citation) +
           u"</span>" + text + u"</div><div class=\"f13\"><a class=\"c-showurl\">" + std::u16string(citation) +
           u"</a></div></div></div></body></html>";
  }
  if (engine == u"google") {
    return u"<html><body><div class=\"srg\"><div class=\"g\"><div class=\"rc\"><h3 class=\"r\"><a href=\"http://x/\">t</a></h3>"
           u"<cite>" + std::u16string(citation) + u"</cite><span>" + text + u"</span></div></div></div></body></html>";
  }
  return DatePage(engine, citation);
}

struct CitationCase {
  const char16_t* citation;
  const char16_t* shortUrl;  // 360 Search and Bing
  const char16_t* date;
  const char16_t* sogouShortUrl;
  const char16_t* sogouDate;
};

// The digit rows are the tails of "abc2019-05-13x", the others the tails
// of "example.com/ab". At eleven units a Sogou date fills the whole
// citation: the unit in front of it that the cut also takes is not there.
const CitationCase kCitationCases[] = {
    {u"", u"", u"", u"", u""},
    {u"x", u"x", u"", u"x", u""},
    {u"3x", u"3x", u"", u"3x", u""},
    {u"13x", u"13x", u"", u"13x", u""},
    {u"-13x", u"-13x", u"", u"-13x", u""},
    {u"5-13x", u"5-13x", u"", u"5-13x", u""},
    {u"05-13x", u"05-13x", u"", u"05-13x", u""},
    {u"-05-13x", u"-05-13x", u"", u"-05-13x", u""},
    {u"9-05-13x", u"9-05-13x", u"", u"9-05-13x", u""},
    {u"19-05-13x", u"19-05-13x", u"", u"19-05-13x", u""},
    {u"019-05-13x", u"019-05-13x", u"", u"019-05-13x", u""},
    {u"2019-05-13x", u"x", u"2019-05-13", u"", u"2019-05-13x"},
    {u"c2019-05-13x", u"cx", u"2019-05-13", u"", u"2019-05-13x"},
    {u"bc2019-05-13x", u"bcx", u"2019-05-13", u"b", u"2019-05-13x"},
    {u"abc2019-05-13x", u"abcx", u"2019-05-13", u"ab", u"2019-05-13x"},
    {u"b", u"b", u"", u"b", u""},
    {u"ab", u"ab", u"", u"ab", u""},
    {u"/ab", u"/ab", u"", u"/ab", u""},
    {u"m/ab", u"m/ab", u"", u"m/ab", u""},
    {u"om/ab", u"om/ab", u"", u"om/ab", u""},
    {u"com/ab", u"com/ab", u"", u"com/ab", u""},
    {u".com/ab", u".com/ab", u"", u".com/ab", u""},
    {u"e.com/ab", u"e.com/ab", u"", u"e.com/ab", u""},
    {u"le.com/ab", u"le.com/ab", u"", u"le.com/ab", u""},
    {u"ple.com/ab", u"ple.com/ab", u"", u"ple.com/ab", u""},
    {u"mple.com/ab", u"mple.com/ab", u"", u"mple.com/ab", u""},
    {u"ample.com/ab", u"ample.com/ab", u"", u"ample.com/ab", u""},
    {u"xample.com/ab", u"xample.com/ab", u"", u"xample.com/ab", u""},
    {u"example.com/ab", u"example.com/ab", u"", u"example.com/ab", u""},
};

TEST(Extractors, CitationsOfEveryLengthGiveAHitWithTheSplitTheRuleGives) {
  const std::u16string sentence = u"Sphinx of black quartz, judge my vow, the quick onyx goblin jumps";
  for (const CitationCase& c : kCitationCases) {
    for (const char16_t* engine : {u"baidu", u"360so", u"bing", u"sougou", u"google"}) {
      const std::u16string_view name(engine);
      const std::string where = U16ToUtf8(name) + " '" + U16ToUtf8(c.citation) + "'";
      std::u16string shortUrl = c.shortUrl;
      std::u16string date = c.date;
      if (name == u"baidu") {
        shortUrl = c.citation;
        date = c.citation;
      } else if (name == u"sougou") {
        shortUrl = c.sogouShortUrl;
        date = c.sogouDate;
      } else if (name == u"google") {
        shortUrl.clear();
        date.clear();
      }
      TSEInstancePtr se = NewSEInstance(engine, 1);
      EXPECT_NO_THROW(se->CheckPage(u"http://q/", CitationPage(name, c.citation), sentence, u"", true)) << where;
      ASSERT_EQ(se->ErrorCode(), 0) << where;
      EXPECT_EQ(U16ToUtf8(se->CheckUrl()), "http://x/") << where;
      EXPECT_EQ(U16ToUtf8(se->CheckShortURL()), U16ToUtf8(shortUrl)) << where;
      EXPECT_EQ(U16ToUtf8(se->CheckUrlDate()), U16ToUtf8(date)) << where;
    }
  }
}

TEST(Extractors, MalformedFilterMaskLeavesTheExtractor) {
  for (const char16_t* engine : {u"baidu", u"bing"}) {
    TSEInstancePtr se = NewSEInstance(engine, 1);
    const std::u16string page = test::ReadSearchPage(engine == std::u16string_view(u"baidu") ? "baidu.html" : "bing.html");
    const char16_t* sentence = engine == std::u16string_view(u"baidu") ? kBaiduA : kZebra;
    EXPECT_THROW(se->CheckPage(u"http://q/", page, sentence, u"[abc", false), EMaskError) << U16ToUtf8(engine);
  }
}

// Entry markup per engine, so that one table can nest entries or set them
// side by side: Open(i) starts entry i with its link /i and Text, Close()
// ends it.
struct EntryMarkup {
  const char16_t* engine;
  std::u16string_view pageOpen, pageClose, entryOpen, linkOpen, linkClose, entryClose;
};

const EntryMarkup kEntryMarkup[] = {
    {u"baidu", u"<html><body><div id=\"content_left\">", u"</div></body></html>", u"<div class=\"c-container\">",
     u"<h3 class=\"t\"><a href=\"/", u"\">t</a></h3>", u"</div>"},
    {u"360so", u"<html><body><ul id=\"m-result\">", u"</ul></body></html>", u"<li class=\"res-list\">",
     u"<h3 class=\"res-title\"><a href=\"/", u"\">t</a></h3>", u"</li>"},
    {u"bing", u"<html><body><ol>", u"</ol></body></html>", u"<li class=\"b_algo\">", u"<h2><a href=\"/",
     u"\">t</a></h2>", u"</li>"},
    {u"sougou", u"<html><body><div class=\"results\">", u"</div></body></html>", u"<div class=\"rb\">",
     u"<h3 class=\"pt\"><a name=\"dttl\" href=\"/", u"\">t</a></h3>", u"</div>"},
    {u"google", u"<html><body>", u"</body></html>", u"<div class=\"srg\">",
     u"<div class=\"g\"><div class=\"rc\"><h3 class=\"r\"><a href=\"/", u"\">t</a></h3></div></div>", u"</div>"},
};

// Entries 1..texts.size(), each nested in the one before or side by side;
// an empty text leaves the entry without a link.
std::u16string EntryPage(const EntryMarkup& m, const std::vector<std::u16string>& texts, bool nested) {
  std::u16string page(m.pageOpen);
  for (size_t i = 0; i < texts.size(); ++i) {
    page += m.entryOpen;
    if (!texts[i].empty()) page += std::u16string(m.linkOpen) + Utf8ToU16(std::to_string(i + 1)) + std::u16string(m.linkClose);
    page += u"<p>" + texts[i] + u"</p>";
    if (!nested) page += m.entryClose;
  }
  if (nested)
    for (size_t i = 0; i < texts.size(); ++i) page += m.entryClose;
  return page + std::u16string(m.pageClose);
}

struct NestingCase {
  const char* name;
  std::vector<std::u16string> texts;
  bool nested;
  const char* reports;  // Dump() of the entry reports
};

TEST(Extractors, EntriesInsideAnExaminedEntryAreNotExaminedAgain) {
  const std::u16string s = kFox;
  const std::u16string other = kZebra;
  const NestingCase cases[] = {
      // The outer entry's text holds the inner ones': it matches first.
      {"sentence in the innermost entry", {other, other, s}, true, "/1|||matched\n"},
      {"sentence nowhere", {other, other, other}, true,
       "/1|||no match\n|||inside an examined entry\n|||inside an examined entry\n"},
      // A link inside a nested entry is the outer entry's first link too.
      {"outer entry without its own link", {u"", other, s}, true, "/2|||matched\n"},
      {"side by side, sentence last", {other, other, s}, false,
       "/1|||no match\n/2|||no match\n/3|||matched\n"},
      {"side by side, sentence nowhere", {other, other}, false, "/1|||no match\n/2|||no match\n"},
  };
  for (const EntryMarkup& m : kEntryMarkup) {
    for (const NestingCase& c : cases) {
      const std::string where = U16ToUtf8(m.engine) + ": " + c.name;
      TSEInstancePtr se = NewSEInstance(m.engine, 1);
      std::vector<TSEEntryReport> entries;
      se->CheckPage(u"http://q/", EntryPage(m, c.texts, c.nested), s, u"", false, &entries);
      EXPECT_EQ(Dump(entries), c.reports) << where;
    }
  }
}

TEST(Extractors, DeeplyNestedEntriesAreExaminedOnceAtTheTop) {
  constexpr size_t kDepth = 10000;
  for (const EntryMarkup& m : kEntryMarkup) {
    const std::string where = U16ToUtf8(m.engine);
    TSEInstancePtr se = NewSEInstance(m.engine, 1);
    std::vector<TSEEntryReport> entries;
    se->CheckPage(u"http://q/", EntryPage(m, std::vector<std::u16string>(kDepth, u"w"), true), kFox, u"", false,
                  &entries);
    EXPECT_EQ(se->ErrorCode(), 1) << where;
    ASSERT_EQ(entries.size(), kDepth) << where;
    EXPECT_EQ(U16ToUtf8(entries[0].Link), "/1") << where;
    EXPECT_EQ(U16ToUtf8(entries[0].SkipReason), "no match") << where;
    size_t nested = 0;
    for (const TSEEntryReport& e : entries) nested += e.SkipReason == u"inside an examined entry" ? 1 : 0;
    EXPECT_EQ(nested, kDepth - 1) << where;
  }
}

// The page step reads a page up to its first U+0000, as the parser does:
// an entry past one is never seen. The NUL falls at every place of a
// block of the cleaning, after plain text, white space or ideographs.
TEST(Extractors, NoEntryPastAPagesFirstNulIsRead) {
  const std::u16string s = kFox;
  const std::u16string other = kZebra;
  const std::u16string_view around[] = {u"w", u" \t", u"\u4E2D"};
  for (const EntryMarkup& m : kEntryMarkup) {
    for (const std::u16string_view unit : around) {
      for (size_t pad = 0; pad < 40; ++pad) {
        std::u16string cut;
        for (size_t i = 0; i < pad; ++i) cut += unit;
        cut += u'\0';
        TSEInstancePtr se = NewSEInstance(m.engine, 1);
        std::vector<TSEEntryReport> entries;
        se->CheckPage(u"http://q/", EntryPage(m, {other, cut + s, s}, false), s, u"", false, &entries);
        ASSERT_EQ(Dump(entries), "/1|||no match\n/2|||no match\n")
            << U16ToUtf8(m.engine) << " pad " << pad << " of '" << U16ToUtf8(unit) << "'";
      }
    }
  }
}

// An engine whose check is cancelled while its extractor runs: the cancel
// arrives after the page was parsed, past the page step's own abort points.
template <class TEngine>
class TCancelledDuringExtraction : public TEngine {
 public:
  TCancelledDuringExtraction() : TEngine(u"cancelled", 1) {}

 protected:
  bool MatchSearchReuslt(TSEInstanceBase* Sender, std::u16string_view AStr, std::u16string_view urlfillter,
                         bool StrictMatch, const html::IHtmlElement& DOM, std::u16string& Url,
                         std::u16string& ShortUrl, std::u16string& Remark, std::u16string& LinkDate) override {
    this->RequestAbort();
    return TEngine::MatchSearchReuslt(Sender, AStr, urlfillter, StrictMatch, DOM, Url, ShortUrl, Remark, LinkDate);
  }
};

TEST(Extractors, CancelBetweenEntriesEndsTheCheckAsAborted) {
  const std::u16string s = kFox;
  const std::vector<std::u16string> texts = {s, s};
  for (bool baidu : {true, false}) {
    const EntryMarkup& m = kEntryMarkup[baidu ? 0 : 2];
    std::unique_ptr<TSEInstanceBase> se;
    if (baidu) se = std::make_unique<TCancelledDuringExtraction<TSEInstanceBaidu>>();
    else se = std::make_unique<TCancelledDuringExtraction<TSEInstanceBing>>();
    std::vector<TSEEntryReport> entries;
    se->CheckPage(u"http://q/", EntryPage(m, texts, false), s, u"", false, &entries);
    EXPECT_EQ(se->ErrorCode(), -2) << U16ToUtf8(m.engine);
    EXPECT_EQ(se->CheckUrl(), u"") << U16ToUtf8(m.engine);
    EXPECT_TRUE(entries.empty()) << U16ToUtf8(m.engine);
  }
}

// Page step outcomes that come before extraction.
struct StepCase {
  const char* name;
  const char16_t* engine;
  std::u16string page;
  int code;
};

TEST(PageStep, ValidityVerificationAndBodyCut) {
  const std::u16string baiduHit = test::ReadSearchPage("baidu.html");
  const std::u16string verify = u"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>百度安全验证</title></head><body>x</body></html>";
  // The title ends exactly at unit 120 in the first page and at 121 in the second.
  const std::u16string pad100(100, u' ');
  const std::u16string verify120 = pad100.substr(1) + u"<title>百度安全验证</title>" + u"<body>x</body>";
  const std::u16string verify121 = pad100 + u"<title>百度安全验证</title>" + u"<body>x</body>";
  ASSERT_EQ(std::u16string(u"<title>百度安全验证</title>").size(), 21u);
  const StepCase cases[] = {
      {"ten units", u"bing", u"0123456789", -6},
      {"eleven units, no body", u"bing", u"0123456789a", -3},
      {"empty", u"baidu", u"", -6},  // too short to be a result page
      {"capital BODY", u"bing", u"<html><BODY>How vexingly quick daft zebras</BODY></html>", -3},
      {"no closing body", u"bing", u"<html><body><li class=\"b_algo\"><h2><a href=\"http://x/\">a</a></h2>How vexingly quick daft zebras jump over the tall wooden fence</li>", -3},
      {"verification", u"baidu", verify, -5},
      {"verification title within 120 units", u"baidu", verify120, -5},
      {"verification title past 120 units", u"baidu", verify121, -5},  // the title counts anywhere
      {"verification title on another engine", u"bing", verify, -6},  // a page Bing does not know
      {"unparseable", u"bing", u"<html><body><div class=\"a\"</body>", -4},
      {"hit", u"baidu", baiduHit, 0},
  };
  for (const StepCase& c : cases) {
    TSEInstancePtr se = NewSEInstance(c.engine, 1);
    se->CheckPage(u"http://q/", c.page, c.engine == std::u16string_view(u"baidu") ? kBaiduA : kZebra, u"", false);
    EXPECT_EQ(se->ErrorCode(), c.code) << c.name;
  }
}

}  // namespace
}  // namespace zqe
