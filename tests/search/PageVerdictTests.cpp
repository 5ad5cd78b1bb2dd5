// What a fetched page tells about the sentence before any entry is
// matched: each engine's block pages (by text and by the URL after
// redirects), its "no results" page, a page it does not know, and the rest
// an engine takes after a block page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Text.h"
#include "search/SEManager.h"
#include "search/SEPageMarkers.h"
#include "search/SERest.h"

namespace zqe {
namespace {

constexpr char16_t kMiss[] = u"Nothing in the corpus resembles this particular sentence at all";

std::u16string Page(std::u16string_view title, std::u16string_view body) {
  return u"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + std::u16string(title) +
         u"</title></head><body>" + std::u16string(body) + u"</body></html>";
}

// One result entry in each engine's layout, holding Text, so that a page
// is a result page that quotes Text in a snippet.
std::u16string ResultPage(std::u16string_view engine, std::u16string_view text) {
  const std::u16string t(text);
  if (engine == u"baidu")
    return Page(u"x_百度搜索", u"<div id=\"content_left\"><div class=\"result c-container\"><h3 class=\"t\"><a "
                               u"href=\"http://a/\">a</a></h3><div class=\"c-abstract\">" + t + u"</div></div></div>");
  if (engine == u"sougou")
    return Page(u"x - 搜狗搜索", u"<div class=\"results\"><div class=\"rb\"><h3 class=\"pt\"><a name=\"dttl\" "
                                 u"href=\"http://a/\">a</a></h3><div class=\"ft\">" + t + u"</div></div></div>");
  if (engine == u"bing")
    return Page(u"x - Bing", u"<ol id=\"b_results\"><li class=\"b_algo\"><h2><a href=\"http://a/\">a</a></h2><p>" +
                                 t + u"</p></li></ol>");
  if (engine == u"360so")
    return Page(u"x_360搜索", u"<ul id=\"m-result\"><li class=\"res-list\"><h3 class=\"res-title\"><a "
                               u"href=\"http://a/\">a</a></h3><p>" + t + u"</p></li></ul>");
  return Page(u"x - Google Search", u"<div id=\"rso\"><div class=\"srg\"><div class=\"g\"><div class=\"rc\"><h3 "
                                    u"class=\"r\"><a href=\"http://a/\">a</a></h3><span>" + t +
                                        u"</span></div></div></div></div>");
}

struct VerdictCase {
  const char* name;
  const char16_t* engine;
  std::u16string page;
  int code;
  std::u16string finalUrl = {};
  std::u16string sentence = kMiss;
};

void RunVerdict(const VerdictCase& c) {
  TSEInstancePtr se = NewSEInstance(c.engine, 1);
  ASSERT_TRUE(se) << c.name;
  se->CheckPage(u"http://q/", c.page, c.sentence, u"", false, nullptr, c.finalUrl);
  EXPECT_EQ(se->ErrorCode(), c.code) << c.name;
}

TEST(BlockPage, EachEnginesBlockPagesByTheirText) {
  const std::u16string pad(200, u' ');
  const VerdictCase cases[] = {
      {"baidu: security check, title after the head's first 120 units", u"baidu",
       u"<!DOCTYPE html><html><head>" + pad + u"<meta charset=\"utf-8\"><title>百度安全验证</title></head><body>"
                                               u"<div class=\"timeout-title\">网络不给力，请稍后重试</div></body></html>",
       -5},
      {"baidu: page that loads the captcha", u"baidu",
       Page(u"百度一下", u"<script src=\"https://wappass.baidu.com/static/captcha/tuxing.js\"></script>"), -5},
      {"baidu: secure captcha frame", u"baidu",
       Page(u"百度一下", u"<iframe src=\"https://seccaptcha.baidu.com/v1/webapi/verint/svcp.html\"></iframe>"), -5},
      {"sogou: antispider page", u"sougou",
       Page(u"搜狗搜索", u"<link href=\"static/css/anti.min.css\"><p class=\"p2\">用户您好，您的访问过于频繁，需要您协助验证。</p>"
                         u"<form id=\"seccodeForm\"><input id=\"seccodeInput\"></form>"),
       -5},
      {"sogou: only the wording", u"sougou", Page(u"搜狗搜索", u"<p>您的访问出错了</p>"), -5},
      {"360: captcha script", u"360so", Page(u"360搜索", u"<script src=\"https://wappass.so.com/captcha.js\"></script>"),
       -5},
      {"bing: challenge", u"bing",
       Page(u"Bing", u"<p>Please solve the challenge below to continue</p><iframe src=\"/turing/captcha/challenge\">"
                     u"</iframe>"),
       -5},
      {"bing: content network challenge", u"bing",
       Page(u"Just a moment...", u"<script src=\"/cdn-cgi/challenge-platform/h/b/orchestrate/v1\"></script>"), -5},
      {"google: sorry page", u"google",
       Page(u"https://www.google.com/search?q=x",
            u"<form id=\"captcha-form\" action=\"index\" method=\"post\"><div id=\"recaptcha\"></div></form>"
            u"<div id=\"infoDiv\">Our systems have detected unusual traffic from your computer network.</div>"),
       -5},
      {"google: short page linking the sorry page", u"google",
       Page(u"302 Moved", u"<h1>302 Moved</h1>The document has moved <a "
                          u"href=\"https://www.google.com/sorry/index?continue=x\">here</a>."),
       -5},
      {"google: javascript required", u"google",
       Page(u"Google Search", u"<noscript><meta content=\"0;url=/httpservice/retry/enablejs?sei=a\" "
                              u"http-equiv=\"refresh\"><div>Please click <a href=\"/httpservice/retry/enablejs?sei=a\">"
                              u"here</a> if you are not redirected within a few seconds.</div></noscript>"),
       -5},
      {"google: content network title in capitals", u"google",
       u"<HTML><HEAD><TITLE> Just a moment... </TITLE></HEAD><body>x</body></HTML>", -5},
      // A title alone is no block page of another engine.
      {"bing: Baidu's title", u"bing", Page(u"百度安全验证", u"<p>x</p>"), -6},
      {"google: Sogou's wording", u"google", Page(u"Google", u"<p>您的访问过于频繁</p>"), -6},
  };
  for (const auto& c : cases) RunVerdict(c);
}

// The title is read by a case-blind search that jumps between the "<" of
// the page; a page without one must give nothing, whatever stands near it.
TEST(BlockPage, PageTitleInAnyCaseOrNone) {
  const struct {
    std::u16string html;
    const char* title;
  } cases[] = {
      {u"<html><head><title>Just a moment...</title></head>", "Just a moment..."},
      {u"<title>E</title>", "E"},
      {u"<HTML><HEAD><TITLE lang=en> A </TITLE></HEAD>", "A"},
      {u"<<tItLe>B</TiTlE>", "B"},
      {u"<tit<title>C</title>", "C"},
      {u"<p>no title</p><t<i<tle>", ""},
      {u"<title>never closed", ""},
      {u"<title", ""},
      {u"x <title>D</title", "D"},
      {u"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(U16ToUtf8(se::PageTitle(c.html)), c.title) << U16ToUtf8(c.html);
}

TEST(BlockPage, ResultPagesQuotingTheMarkersAreNoBlockPages) {
  const struct {
    const char16_t* engine;
    const char16_t* quote;
  } cases[] = {
      {u"baidu", u"see wappass.baidu.com/static/captcha and seccaptcha.baidu.com"},
      {u"sougou", u"antispider 您的访问过于频繁 seccodeForm"},
      {u"bing", u"/turing/captcha/ Please solve the challenge below to continue"},
      {u"360so", u"wappass.so.com/captcha.js"},
      {u"google", u"/sorry/index /httpservice/retry/enablejs detected unusual traffic"},
      {u"google", u"/cdn-cgi/challenge-platform/"},
  };
  for (const auto& c : cases) {
    TSEInstancePtr se = NewSEInstance(c.engine, 1);
    se->CheckPage(u"http://q/", ResultPage(c.engine, c.quote), kMiss, u"", false);
    EXPECT_EQ(se->ErrorCode(), 1) << U16ToUtf8(c.engine) << ": " << U16ToUtf8(c.quote);
  }
  // Bing's own scripts carry the content network's wording.
  TSEInstancePtr bing = NewSEInstance(u"bing", 1);
  const std::u16string page = ResultPage(u"bing", u"x");
  bing->CheckPage(u"http://q/", page.substr(0, page.find(u"</body>")) +
                                    u"<script>var cfg={\"sLoad\":\"Just a moment...\"};</script></body>",
                  kMiss, u"", false);
  EXPECT_EQ(bing->ErrorCode(), 1);
}

TEST(BlockPage, RedirectsToTheBlockPageByTheFinalUrl) {
  // Any page, even one with entries: the engine sent us to its check.
  const struct {
    const char16_t* engine;
    const char16_t* url;
    int code;
  } cases[] = {
      {u"baidu", u"https://wappass.baidu.com/static/captcha/tuxing.html?ak=1&backurl=x", -5},
      {u"baidu", u"https://WAPPASS.BAIDU.COM/x", -5},
      {u"baidu", u"https://verify.baidu.com/", -5},
      {u"baidu", u"https://seccaptcha.baidu.com/v1/webapi", -5},
      {u"baidu", u"http://127.0.0.1:8/baidu/static/captcha/tuxing.html", -5},
      {u"sougou", u"https://www.sogou.com/antispider/?from=%2Fweb%3Fquery%3Dx", -5},
      {u"360so", u"https://www.so.com/captcha?from=s", -5},
      {u"360so", u"https://passport.360.cn/login", -5},
      {u"360so", u"https://www.so.com/forbidden", -5},
      {u"bing", u"https://www.bing.com/turing/captcha/challenge", -5},
      {u"bing", u"https://www.bing.com/cdn-cgi/challenge-platform/h/b", -5},
      {u"google", u"https://www.google.com/sorry/index?continue=https://www.google.com/search", -5},
      {u"google", u"https://www.google.com/httpservice/retry/enablejs?sei=a", -5},
      // The query holds the sentence: it names anything without harm.
      {u"google", u"https://www.google.com/search?q=/sorry/index", 1},
      {u"bing", u"https://www.bing.com/search?q=/turing/captcha/challenge", 1},
      {u"baidu", u"https://www.baidu.com/s?wd=wappass.baidu.com", 1},
      {u"sougou", u"https://www.sogou.com/web?query=/antispider/#/antispider/", 1},
      // Another engine's block URL is nothing to this one.
      {u"bing", u"https://www.sogou.com/antispider/", 1},
      {u"google", u"", 1},
  };
  for (const auto& c : cases) {
    TSEInstancePtr se = NewSEInstance(c.engine, 1);
    se->CheckPage(u"http://q/", ResultPage(c.engine, u"x"), kMiss, u"", false, nullptr, c.url);
    EXPECT_EQ(se->ErrorCode(), c.code) << U16ToUtf8(c.engine) << " " << U16ToUtf8(c.url);
  }
  // Also when the page is too short to judge by its text.
  TSEInstancePtr se = NewSEInstance(u"google", 1);
  se->CheckPage(u"http://q/", u"", kMiss, u"", false, nullptr, u"https://www.google.com/sorry/index");
  EXPECT_EQ(se->ErrorCode(), -5);
}

TEST(NoResultsPage, OnlyTheEnginesOwnWordingKeepsNoHit) {
  const std::u16string kHit = u"这个句子完整地出现在结果条目的摘要里面用来检验";
  std::u16string bodyWithoutEnd = ResultPage(u"bing", kHit);
  bodyWithoutEnd.erase(bodyWithoutEnd.find(u"</body>"), 7);
  std::u16string endInScript = ResultPage(u"bing", kHit);
  endInScript.insert(endInScript.find(u"<ol"), u"<script>var b=\"</body>\";</script><li>x</li>");
  std::u16string endSpelledApart = endInScript;
  endSpelledApart.replace(endSpelledApart.find(u"</body>\""), 7, u"</bo\"+\"dy>");
  const std::u16string baiduNone =
      Page(u"x_百度搜索", u"<div id=\"content_left\"><div class=\"nors\"><p>抱歉没有找到与“<em>x</em>”相关的网页。</p></div></div>");
  const std::u16string sogouNone =
      Page(u"x - 搜狗搜索", u"<div class=\"results\"></div><div id=\"noresult_part1_container\"><p>抱歉，没有找到与“<em>x</em>"
                            u"”相关的网页。</p></div>");
  const std::u16string so360None = Page(u"x_360搜索", u"<div id=\"no-result\"><p>抱歉，没有找到和“x”相关的网页</p></div>");
  const std::u16string bingNone =
      Page(u"x - Bing", u"<ol id=\"b_results\"><li class=\"b_no\"><h1>There are no results for <strong>x</strong>"
                        u"</h1><ul><li>Check your spelling or try different keywords</li></ul></li></ol>");
  const std::u16string googleNone =
      Page(u"x - Google Search", u"<div id=\"search\"><div id=\"topstuff\"><p>Your search - <em>x</em> - did not "
                                 u"match any documents.</p></div></div>");
  const std::u16string newLayout =
      Page(u"x", u"<main class=\"serp-2030\"><article><a href=\"http://a/\">a</a>" + std::u16string(kMiss) +
                     u"</article></main>");
  const VerdictCase cases[] = {
      {"baidu no results", u"baidu", baiduNone, 1},
      {"sogou no results", u"sougou", sogouNone, 1},
      {"360 no results", u"360so", so360None, 1},
      {"bing no results", u"bing", bingNone, 1},
      {"google no results", u"google", googleNone, 1},
      {"bing wording on google", u"google", bingNone, -6},
      {"google wording on baidu", u"baidu", googleNone, -6},
      {"baidu new layout", u"baidu", newLayout, -6},
      {"sogou new layout", u"sougou", newLayout, -6},
      {"360 new layout", u"360so", newLayout, -6},
      {"bing new layout", u"bing", newLayout, -6},
      {"google new layout", u"google", newLayout, -6},
      // A script is no text of the page.
      {"wording only in a script", u"google",
       Page(u"x", u"<script>var m=\"did not match any documents\";</script><div>x</div>"), -6},
      // Entries were examined: an ordinary miss.
      {"entries without a match", u"bing", ResultPage(u"bing", u"something else"), 1},
      {"empty sentence", u"bing", newLayout, 1, {}, u""},
      {"blank sentence", u"google", newLayout, 1, {}, u"   "},
      // The body cut failed first: that code stays.
      {"no body", u"bing", u"<html><head><title>x</title></head></html>", -3},
      // The sentence stands in the entry, but the body has no end.
      {"body without its end", u"bing", bodyWithoutEnd, -3, {}, kHit},
      // The body ends at its first "</body", wherever it stands: the entry
      // after one in a script is not read, and a page without entries or
      // the engine's no-results wording is one it does not know.
      {"body end in a script before the entry", u"bing", endInScript, -6, {}, kHit},
      {"the same page with the script's end spelled apart", u"bing", endSpelledApart, 0, {}, kHit},
  };
  for (const auto& c : cases) RunVerdict(c);
}

TEST(NoResultsPage, TheEntryCountStartsAgainForEveryPage) {
  TSEInstancePtr se = NewSEInstance(u"bing", 1);
  se->CheckPage(u"http://q/", ResultPage(u"bing", u"x"), kMiss, u"", false);
  EXPECT_EQ(se->ErrorCode(), 1);
  se->CheckPage(u"http://q/", Page(u"x", u"<div>x</div>"), kMiss, u"", false);
  EXPECT_EQ(se->ErrorCode(), -6);
  se->CheckPage(u"http://q/", ResultPage(u"bing", u"x"), kMiss, u"", false);
  EXPECT_EQ(se->ErrorCode(), 1);
}

TEST(RestState, RestsPerEngineNameUntilTheirEnd) {
  TSERestState rest;
  const auto t0 = TSERestState::Clock::now();
  using std::chrono::milliseconds;
  using std::chrono::seconds;
  EXPECT_EQ(rest.RemainingMs(u"bing", t0), 0);
  rest.Start(u"Bing", 2, t0);
  EXPECT_EQ(rest.RemainingMs(u"bing", t0), 2000);
  EXPECT_EQ(rest.RemainingMs(u"BING", t0 + milliseconds(1500)), 500);
  EXPECT_EQ(rest.RemainingMs(u"bing", t0 + seconds(2)), 0);
  EXPECT_EQ(rest.RemainingMs(u"baidu", t0), 0);
  // A shorter rest started later does not cut a longer one short.
  rest.Start(u"bing", 10, t0);
  rest.Start(u"bing", 1, t0 + seconds(1));
  EXPECT_EQ(rest.RemainingMs(u"bing", t0 + seconds(5)), 5000);
  // 0 or less: no rest.
  rest.Start(u"google", 0, t0);
  rest.Start(u"360so", -3, t0);
  EXPECT_EQ(rest.RemainingMs(u"google", t0), 0);
  EXPECT_EQ(rest.RemainingMs(u"360so", t0), 0);
  rest.Reset();
  EXPECT_EQ(rest.RemainingMs(u"bing", t0), 0);
}

TEST(RestState, DefinitionValue) {
  const struct {
    const char16_t* value;
    int32_t seconds;
  } cases[] = {
      {u"", 600}, {u"abc", 600}, {u"1", 1}, {u"0", 0}, {u"-5", 0}, {u"86400", 86400}, {u"99999999999", 600},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseSuspendAfterVerify(c.value), c.seconds) << U16ToUtf8(c.value);
}

TEST(RestState, RegistryCarriesTheDefinitionsRestToTheEngine) {
  TSEDefRestTable::Process().Reset();
  TSEDefRestTable::Process().Set(u"bing", 1);
  TSEDefRestTable::Process().Set(u"google", 0);
  std::vector<TSEDefinition> defs(3);
  const char16_t* names[] = {u"bing", u"google", u"baidu"};
  for (size_t i = 0; i < defs.size(); ++i) {
    defs[i].Name = names[i];
    defs[i].ID = static_cast<int32_t>(i + 1);
  }
  TSEInstArr insts;
  LoadSEInstance(defs, insts);
  ASSERT_EQ(insts.size(), 3u);
  EXPECT_EQ(insts[0]->SuspendAfterVerify(), 1);
  EXPECT_EQ(insts[1]->SuspendAfterVerify(), 0);
  EXPECT_EQ(insts[2]->SuspendAfterVerify(), kDefaultSuspendAfterVerify);
  EXPECT_EQ(CreateSEInstance(1, defs)->SuspendAfterVerify(), 1);
  FreeSEInstances(insts);
  TSEDefRestTable::Process().Reset();
}

TEST(RestState, ARestingEngineAnswersWithoutARequest) {
  // Nothing listens on port 1: a request would end as a fetch error (-3).
  TSEInstancePtr bing = NewSEInstance(u"bing", 1);
  bing->InitEngine(u"", u"http://127.0.0.1:1/s?q=%s", u"", u"", u"", 2000);
  TSEInstancePtr baidu = NewSEInstance(u"baidu", 2);
  baidu->InitEngine(u"", u"http://127.0.0.1:1/s?wd=%s", u"", u"", u"", 2000);
  TSERestState::Process().Reset();
  TSERestState::Process().Start(u"BING", 60);
  bing->Check(kMiss, u"", false);
  EXPECT_EQ(bing->ErrorCode(), -5);
  // Every object of that name rests, no other engine does.
  TSEInstancePtr bing2 = NewSEInstance(u"Bing", 3);
  bing2->InitEngine(u"", u"http://127.0.0.1:1/s?q=%s", u"", u"", u"", 2000);
  bing2->Check(kMiss, u"", false);
  EXPECT_EQ(bing2->ErrorCode(), -5);
  baidu->Check(kMiss, u"", false);
  EXPECT_EQ(baidu->ErrorCode(), -3);
  TSERestState::Process().Reset();
  bing->Check(kMiss, u"", false);
  EXPECT_EQ(bing->ErrorCode(), -3);
}

}  // namespace
}  // namespace zqe
