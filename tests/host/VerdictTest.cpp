// "Not copied" only when an engine really looked at the sentence, through
// the real library against serp-sim: every sentence reaches every engine
// as written; block pages (also behind a redirect) answer -5 and make the
// engine rest; a page no extractor knows answers -6; an engine's own "no
// results" page stays 1. The definitions set a rest of one second.
#include <thread>

#include "HostCheckSupport.h"
#include "platform/HttpClient.h"

namespace zqe::hosttest {
namespace {

const char* const kEngineNames[] = {"baidu", "sougou", "bing", "360so", "google"};

constexpr uint8_t kByteVerify = 251;   // -5
constexpr uint8_t kByteUnknown = 250;  // -6
constexpr int kRestMs = 1000;

std::string Sid() { return "verdict-" + std::to_string(platform::CurrentProcessId()); }

TZQEInterface gIntf{};
bool gReady = false;

class HostVerdict : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::SerpSim::Get().port() == 0) GTEST_SKIP() << test::SerpSim::Get().problem();
    ASSERT_NE(InitEntry(), nullptr);
    if (!gReady) {
      std::string text;
      for (const char* name : kEngineNames) {
        const EngineSetup e{name, "sid=" + Sid() + "&"};
        text += "[" + e.name + "]\r\nTitle=" + e.name + "\r\nurl=" + HomeUrl(e.name) + "\r\nsurl=" + SearchUrl(e) +
                "\r\nhttp-timeout=15000\r\nsuspend-after-verify=1\r\n\r\n";
      }
      const auto path = TempDir() / "verdict-engines.ini";
      WriteUtf16File(path, text);
      gIntf = TZQEInterface{};
      gIntf.Size = sizeof gIntf;
      gIntf.Magic = ZQE_INTERFACE_MAGIC;
      ASSERT_EQ(InitEntry()(path.u16string().c_str(), &gIntf), 0);
      gReady = true;
    }
    Queries();  // forget what earlier tests left
  }

  // The record's error byte of a check with one engine.
  static uint8_t CheckOn(const std::string& engine, const std::u16string& text) {
    return CheckWithOne(gIntf, engine, text).r.ErrorCode;
  }

  // What serp-sim received since the last call: engine and the decoded
  // query's UTF-8 bytes in hexadecimal, one request each.
  static std::vector<std::string> Queries() {
    platform::HttpRequest request;
    request.url = AsciiToU16("http://127.0.0.1:" + std::to_string(test::SerpSim::Get().port()) +
                             "/_queries?format=hex&clear=1&sid=" + Sid());
    std::vector<std::string> lines;
    try {
      const std::string body = platform::HttpGet(request).body;
      size_t p = 0;
      while (p < body.size()) {
        const size_t e = body.find('\n', p);
        lines.push_back(body.substr(p, e - p));
        p = e == std::string::npos ? body.size() : e + 1;
      }
    } catch (const std::exception& e) {
      ADD_FAILURE() << "serp-sim's record: " << e.what();
    }
    return lines;
  }

  static std::string Hex(const std::u16string& text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : U16ToUtf8(text)) {
      out.push_back(digits[c >> 4]);
      out.push_back(digits[c & 15]);
    }
    return out;
  }
};

TEST_F(HostVerdict, EverySentenceReachesEveryEngineAsWritten) {
  const std::u16string sentences[] = {
      u"C# \u4E0E F# \u7684\u533A\u522B?",
      u"a&b=c and x=1&y=2",
      u"1+1=2 and a + b",
      u"why? because/so and a/b/c?d",
      u"100% sure, %41 is not A, %zz% nor %",
      u"#hash at the start and # in the middle",
      u"\u5168\u89D2\u6807\u70B9\uFF1A\uFF0C\u3002\uFF1F\uFF01\u201C\u201D\uFF08\uFF09\uFF03\uFF06",
      u"faces \U0001F600 and \U00020000 need surrogate pairs",
      u"quotes 'single' \"double\" <tag> {brace} |bar| \\ ^ [sq] `tick` ;semi, comma",
      u"  leading and trailing blanks  ",
  };
  for (const char* engine : kEngineNames) {
    for (const auto& s : sentences) {
      // No corpus line holds them: the engine's "no results" page.
      EXPECT_EQ(CheckOn(engine, s), 1) << engine << " " << U16ToUtf8(s);
      const std::vector<std::string> got = Queries();
      ASSERT_EQ(got.size(), 1u) << engine << " " << U16ToUtf8(s);
      EXPECT_EQ(got[0], std::string(engine) + " " + Hex(s)) << U16ToUtf8(s);
    }
  }
}

TEST_F(HostVerdict, UnknownLayoutIsNoNoHitAndNoResultsPagesAre) {
  const LogTail log;
  for (const char* engine : kEngineNames) {
    EXPECT_EQ(CheckOn(engine, u"~unknown~ " + std::u16string(kFox)), kByteUnknown) << engine;
    EXPECT_EQ(CheckOn(engine, u"~noresults~ " + std::u16string(kFox)), 1) << engine;
    EXPECT_EQ(CheckOn(engine, kMiss), 1) << engine;
    EXPECT_EQ(CheckOn(engine, kFox), 0) << engine;
    EXPECT_EQ(Queries().size(), 4u) << engine;
  }
  size_t notRecognised = 0;
  for (const auto& line : log.Lines())
    if (line.find("result page not recognised") != std::string::npos) ++notRecognised;
  EXPECT_EQ(notRecognised, 5u);
}

TEST_F(HostVerdict, BlockedEngineAnswersAtOnceUntilItsRestEnds) {
  const LogTail log;
  for (const char* engine : kEngineNames) {
    for (const char16_t* scenario : {u"~block~ ", u"~block-redirect~ "}) {
      const std::string what = std::string(engine) + " " + U16ToUtf8(scenario);
      EXPECT_EQ(CheckOn(engine, scenario + std::u16string(kFox)), kByteVerify) << what;
      EXPECT_EQ(Queries().size(), 1u) << what;
      const auto restStart = std::chrono::steady_clock::now();
      // Resting: no request, whatever the sentence.
      EXPECT_EQ(CheckOn(engine, kFox), kByteVerify) << what;
      EXPECT_EQ(CheckOn(engine, kMiss), kByteVerify) << what;
      EXPECT_TRUE(Queries().empty()) << what;
      // Other engines are not resting.
      const char* other = engine == std::string("bing") ? "google" : "bing";
      EXPECT_EQ(CheckOn(other, kFox), 0) << what;
      EXPECT_EQ(Queries().size(), 1u) << what;
      // After the rest the engine asks again.
      const int64_t waited = MillisSince(restStart);
      if (waited < kRestMs + 200) std::this_thread::sleep_for(std::chrono::milliseconds(kRestMs + 200 - waited));
      EXPECT_EQ(CheckOn(engine, kFox), 0) << what;
      EXPECT_EQ(Queries().size(), 1u) << what;
    }
  }
  size_t resting = 0;
  for (const auto& line : log.Lines())
    if (line.find("resting after a verification page, no request") != std::string::npos) ++resting;
  EXPECT_EQ(resting, 20u);
}

}  // namespace
}  // namespace zqe::hosttest
