// Whole checks over HTTP against serp-sim: every engine's hit and miss,
// failed requests, pages without body, verification, errors leaving
// Check, Abort during a slow fetch, and what the simulator received.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <string>
#include <thread>

#include "SerpSim.h"
#include "TestSupport.h"
#include "http/Http.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "search/Mask.h"
#include "search/SEManager.h"
#include "search/SERest.h"

namespace zqe {
namespace {

constexpr char16_t kFox[] = u"The quick brown fox jumps over the lazy dog near the river bank";

class CheckOverHttp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::SerpSim::Get().port() == 0) GTEST_SKIP() << test::SerpSim::Get().problem();
  }
  // An engine whose search URL format points at serp-sim, with extra
  // scenario parameters in front of the query.
  static TSEInstancePtr Engine(std::string_view name, std::u16string_view params = u"",
                               std::u16string_view language = u"") {
    TSEInstancePtr se = NewSEInstance(AsciiToU16(name), 1);
    const std::u16string key = name == "baidu" ? u"wd" : name == "sougou" ? u"query" : u"q";
    se->InitEngine(u"http://home/", test::SerpSim::Get().Base(name) + u"?" + std::u16string(params) + key + u"=%s",
                   u"configured-agent/1.0", u"", language, 3000);
    return se;
  }
  static size_t Count(const std::vector<std::string>& lines, const std::string& part) {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
  }
};

TEST_F(CheckOverHttp, EveryEngineFindsItsHitAndReportsAMiss) {
  const struct {
    const char* engine;
    const char16_t* shortUrl;
    const char16_t* date;
  } cases[] = {
      {"baidu", u"site2.example.com/doc/2.html", u"2019-5-13"},
      {"sougou", u"site2.example.com/doc/2.html -", u"2019-5-13"},
      {"bing", u"site2.example.com/doc/2.html ·", u"2020-01-05"},
      {"360so", u"site2.example.com/doc/2.html ›", u"2020-01-05"},
      {"google", u"", u""},
  };
  for (const auto& c : cases) {
    TSEInstancePtr se = Engine(c.engine);
    se->Check(kFox, u"", false);
    EXPECT_EQ(se->ErrorCode(), 0) << c.engine;
    EXPECT_EQ(U16ToUtf8(se->CheckUrl()), "http://site2.example.com/doc/2.html") << c.engine;
    EXPECT_EQ(U16ToUtf8(se->CheckShortURL()), U16ToUtf8(c.shortUrl)) << c.engine;
    EXPECT_EQ(U16ToUtf8(se->CheckUrlDate()), U16ToUtf8(c.date)) << c.engine;
    EXPECT_EQ(se->CheckRemark(), u"") << c.engine;
    se->Check(u"Nothing in the corpus resembles this particular sentence at all", u"", false);
    EXPECT_EQ(se->ErrorCode(), 1) << c.engine;
    // A hit filtered away is a miss.
    se->Check(kFox, u"SITE2", false);
    EXPECT_EQ(se->ErrorCode(), 1) << c.engine;
  }
}

// The engine never looked at the sentence: neither may say "no hit".
TEST_F(CheckOverHttp, FailedRequestsAreFetchErrorsAndEmptyPagesUnrecognised) {
  const struct {
    const char* name;
    std::u16string fmt;
    int32_t code;
  } cases[] = {
      {"403", test::SerpSim::Get().Base("bing") + u"?mode=403&q=%s", -3},
      {"500", test::SerpSim::Get().Base("bing") + u"?mode=500&q=%s", -3},
      {"closed port", u"http://127.0.0.1:1/bing/s?q=%s", -3},
      {"empty", test::SerpSim::Get().Base("bing") + u"?mode=empty&q=%s", -6},
  };
  for (const auto& c : cases) {
    TSEInstancePtr se = NewSEInstance(u"bing", 1);
    se->InitEngine(u"", c.fmt, u"", u"", u"", 3000);
    test::DebugCapture cap;
    se->Check(kFox, u"", false);
    EXPECT_EQ(se->ErrorCode(), c.code) << c.name;
    EXPECT_EQ(Count(cap.lines(), "#TSEInst[bing] Involid html."), 1u) << c.name;
  }
}

TEST_F(CheckOverHttp, PageWithoutBodyVerificationAndGzip) {
  TSEInstancePtr noBody = Engine("bing", u"mode=nobody&");
  noBody->Check(kFox, u"", false);
  EXPECT_EQ(noBody->ErrorCode(), -3);
  TSEInstancePtr verify = Engine("baidu", u"mode=verify&");
  verify->Check(kFox, u"", false);
  EXPECT_EQ(verify->ErrorCode(), -5);
  // Baidu now rests process-wide; later tests ask it again.
  TSERestState::Process().Reset();
  TSEInstancePtr gz = Engine("360so", u"mode=gzip&");
  gz->Check(kFox, u"", false);
  EXPECT_EQ(gz->ErrorCode(), 0);
}

TEST_F(CheckOverHttp, BlockPagesRedirectsUnknownLayoutsAndNoResultsPages) {
  const char* engines[] = {"baidu", "sougou", "bing", "360so", "google"};
  const struct {
    const char16_t* params;
    int code;
  } scenarios[] = {
      {u"mode=block&", -5},          // google's comes with status 429
      {u"mode=block-redirect&", -5}, // only the URL after the redirect marks it
      {u"mode=unknown&", -6},
      {u"mode=noresults&", 1},
      {u"", 0},
  };
  for (const char* e : engines) {
    for (const auto& s : scenarios) {
      TSERestState::Process().Reset();
      TSEInstancePtr se = Engine(e, s.params);
      se->Check(kFox, u"", false);
      EXPECT_EQ(se->ErrorCode(), s.code) << e << " " << U16ToUtf8(s.params);
    }
  }
  TSERestState::Process().Reset();
}

TEST_F(CheckOverHttp, MalformedFilterLeavesCheckAndTheEngineIsIdleAgain) {
  TSEInstancePtr se = Engine("sougou");
  EXPECT_THROW(se->Check(kFox, u"[abc", false), EMaskError);
  EXPECT_EQ(se->ErrorCode(), 1);
  se->Abort();  // returns only when the idle signal is set
  se->Check(kFox, u"", false);
  EXPECT_EQ(se->ErrorCode(), 0);
}

TEST_F(CheckOverHttp, AbortDuringASlowFetchWaitsForTheCheck) {
  TSEInstancePtr se = Engine("bing", u"delay=1500&");
  std::atomic<bool> started{false};
  std::thread t([&] {
    try {
      started = true;
      se->Check(kFox, u"", false);
    } catch (...) {
    }
  });
  while (!started) platform::SleepMs(1);
  platform::SleepMs(400);  // the request is now in flight
  test::DebugCapture cap;
  se->Abort();
  // The code is written before the idle signal: reading it here proves that
  // Abort waited for the check to end.
  EXPECT_EQ(se->ErrorCode(), -2);
  EXPECT_EQ(Count(cap.lines(), "TBaseZQMan.Cancle wait code:0"), 1u);
  t.join();
}

TEST_F(CheckOverHttp, SimulatorReceivesTheEncodedQueryAndBrowserHeaders) {
  TSEInstancePtr se = Engine("baidu");
  se->Check(u"原创 检测", u"", false);
  int32_t code = 0;
  std::u16string last;
  ASSERT_TRUE(THTTP::Get(AsciiToU16("http://127.0.0.1:" + std::to_string(test::SerpSim::Get().port()) + "/_last"), code, last));
  const std::string got = U16ToUtf8(last);
  EXPECT_NE(got.find("\"path\": \"/baidu/s?wd=%E5%8E%9F%E5%88%9B%20%E6%A3%80%E6%B5%8B\""), std::string::npos) << got;
  EXPECT_NE(got.find("zh-CN,zh;q=0.9,en-US;q=0.8,en;q=0.7"), std::string::npos) << got;
  EXPECT_EQ(got.find("configured-agent"), std::string::npos) << got;
  bool tableAgent = false;
  for (const auto& ua : TSEInstanceBase::UserAgents())
    tableAgent = tableAgent || got.find(U16ToUtf8(ua)) != std::string::npos;
  EXPECT_TRUE(tableAgent) << got;
}

}  // namespace
}  // namespace zqe
