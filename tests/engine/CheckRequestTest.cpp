// The check request and the host callbacks over engines whose outcome and
// timing the test sets: one-engine and several-engines paths, the result
// record, the 3000 ms budget, cancel and shut-down.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "engine/ZQEImp.h"
#include "engine/ZQGlobal.h"
#include "search/SEManager.h"

namespace zqe {
namespace {

using test::DebugCapture;
using ::testing::Contains;
using ::testing::HasSubstr;

struct Behaviour {
  uint32_t delayMs = 0;
  int32_t errorCode = 1;
  std::u16string url;  // the findings are derived from it
  uint32_t takesMs = 0;  // by the fake clock, moved on at once
};

std::mutex gBehaviourLock;
std::map<std::u16string, Behaviour> gBehaviour;  // by engine name
std::atomic<int> gEnginesAlive{0};

// The checks' clock while a FakeClock lives: it stands still until an
// engine's work moves it on.
std::atomic<int64_t> gFakeNowMs{0};
std::chrono::steady_clock::time_point FakeNow() {
  return std::chrono::steady_clock::time_point(std::chrono::milliseconds(gFakeNowMs.load()));
}
struct FakeClock {
  FakeClock() {
    gFakeNowMs = 1'000'000;
    SetCheckClock(&FakeNow);
  }
  ~FakeClock() { SetCheckClock(nullptr); }
};
// A time field of a record filled with 0xAB bytes.
constexpr int64_t kUntouchedMs = static_cast<int64_t>(0xABABABABABABABABull);

struct Budget {
  explicit Budget(uint32_t ms) { SetCheckBudget(ms); }
  ~Budget() { SetCheckBudget(kCheckTimeoutMs); }
};

// An engine that answers after a delay, watching its abort flag.
class FakeEngine : public TSEInstanceBase {
 public:
  FakeEngine(std::u16string_view name, int32_t id) : TSEInstanceBase(name, id) { ++gEnginesAlive; }
  ~FakeEngine() override { --gEnginesAlive; }

 protected:
  void DoCheck(std::u16string_view, std::u16string_view, bool) override {
    Behaviour b;
    {
      std::lock_guard<std::mutex> lock(gBehaviourLock);
      b = gBehaviour[Name()];
    }
    for (uint32_t waited = 0; waited < b.delayMs; waited += 5) {
      if (Aborted()) {
        SetErrorCode(-2);
        return;
      }
      platform::SleepMs(5);
    }
    gFakeNowMs += b.takesMs;
    SetErrorCode(b.errorCode);
    if (b.errorCode == 0) {
      SetCheckUrl(b.url);
      SetCheckShortURL(b.url + u"/short");
      SetCheckRemark(b.url + u" remark");
    }
  }
  bool IsVerifyPage(std::u16string_view) override { return false; }
  bool MatchSearchReuslt(TSEInstanceBase*, std::u16string_view, std::u16string_view, bool, const html::IHtmlElement&,
                         std::u16string&, std::u16string&, std::u16string&, std::u16string&) override {
    return false;
  }
};

TZQSEDef Def(std::u16string_view name) {
  TZQSEDef d{};
  d.len = sizeof d;
  d.ver = 1;
  SetFieldText(d.Name, name);
  SetFieldText(d.Title, name);
  SetFieldText(d.url, u"http://127.0.0.1:9/");
  SetFieldText(d.surl, u"http://127.0.0.1:9/s?q=%s");
  d.ID = HashSEName(name);
  return d;
}

class CheckRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SEDefArr.clear();
    for (auto n : {u"baidu", u"bing", u"google"}) SEDefArr.push_back(Def(n));
    ZQEImpInitialize();
    SetSEInstFactory([](int32_t id, const TZQSEDefArr& defs) -> TSEInstancePtr {
      for (const auto& d : defs)
        if (d.ID == id) return std::make_shared<FakeEngine>(FieldText(d.Name), id);
      return nullptr;
    });
    ASSERT_TRUE(InitSEInstances());
    std::memset(&result_, 0xAB, sizeof result_);
  }
  void TearDown() override {
    ZQEUnInit();
    SEDefArr.clear();
    SetSEInstFactory(nullptr);
    std::lock_guard<std::mutex> lock(gBehaviourLock);
    gBehaviour.clear();
  }
  static void Set(std::u16string name, Behaviour b) {
    std::lock_guard<std::mutex> lock(gBehaviourLock);
    gBehaviour[name] = b;
  }
  bool Check(std::vector<TZQSEDef> defs, int32_t userData = 7, const char16_t* filter = nullptr) {
    params_.SEDefs = defs.data();
    params_.SECount = static_cast<int32_t>(defs.size());
    params_.StrictMatch = 0;
    return ZQECheck(u"a sentence to check", filter, &params_, userData, &result_) != 0;
  }
  TZQECheckParams params_{};
  TZQECheckResult result_;
};

TEST_F(CheckRequestTest, InvalidArgumentsAreRejectedWithoutTouchingTheRecord) {
  DebugCapture cap;
  TZQECheckResult untouched;
  std::memset(&untouched, 0xAB, sizeof untouched);
  TZQSEDef one = Def(u"baidu");
  TZQECheckParams good{0, 0, &one, 1, 0}, empty{0, 0, &one, 0, 0};
  struct Case {
    const char16_t* text;
    const TZQECheckParams* params;
    TZQECheckResult* result;
    const char* message;
  } cases[] = {
      {nullptr, &good, &result_, "[ZQECheck] Invalid szText!"},
      {u"", &good, &result_, "[ZQECheck] Empty szText!"},
      {u"x", nullptr, &result_, "[ZQECheck] Invalid lpParams!"},
      {u"x", &empty, &result_, "[ZQECheck] Empty lpParams!"},
      {u"x", &good, nullptr, "[ZQECheck] Invalid lpResult!"},
  };
  for (const auto& c : cases) {
    cap.clear();
    platform::SetLastError(0);
    EXPECT_EQ(ZQECheck(c.text, nullptr, c.params, 1, c.result), 0) << c.message;
    EXPECT_EQ(platform::GetLastError(), 87u) << c.message;
    EXPECT_THAT(cap.lines(), Contains(HasSubstr(std::string("^ ") + c.message)));
    EXPECT_EQ(std::memcmp(&result_, &untouched, sizeof result_), 0) << c.message;
  }
}

TEST_F(CheckRequestTest, OneEngineHitFillsTheRecordOnTheCallersThread) {
  Set(u"bing", {20, 0, u"http://found.example/bing"});
  EXPECT_TRUE(Check({Def(u"bing")}, 42));
  EXPECT_EQ(result_.UserData, 42);
  EXPECT_EQ(result_.ErrorCode, 0);
  EXPECT_EQ(std::u16string(result_.SEName), u"bing");
  EXPECT_EQ(std::u16string(result_.CheckUrl), u"http://found.example/bing");
  EXPECT_EQ(result_.CheckUrlLen, 25);
  EXPECT_EQ(std::u16string(result_.CheckShortURL), u"http://found.example/bing/short");
  EXPECT_EQ(result_.CheckShortURLLen, 31);
  EXPECT_EQ(std::u16string(result_.CheckRemark), u"http://found.example/bing remark");
  EXPECT_EQ(result_.CheckRemarkLen, 32);
  EXPECT_GE(result_.MatchMSecs, 20);
  EXPECT_GE(result_.TotalMSecs, result_.MatchMSecs);
  // Reserved fields are the host's.
  EXPECT_EQ(result_.Reserved1, 0xABABABABu);
  EXPECT_EQ(result_.Pad1, 0xAB);
  // A one-engine request keeps no engine in the dictionary.
  EXPECT_EQ(SEInstDictCount(), 0u);
}

TEST_F(CheckRequestTest, OneEngineOutcomesAreCopiedAsTheirLowByte) {
  struct Case {
    int32_t code;
    uint8_t stored;
  } cases[] = {{1, 1}, {-2, 254}, {-3, 253}, {-4, 252}, {-5, 251}};
  for (const auto& c : cases) {
    Set(u"baidu", {0, c.code, u""});
    std::memset(&result_, 0xAB, sizeof result_);
    EXPECT_FALSE(Check({Def(u"baidu")})) << c.code;
    EXPECT_EQ(result_.ErrorCode, c.stored) << c.code;
    EXPECT_EQ(std::u16string(result_.SEName), u"baidu");
    EXPECT_EQ(result_.CheckUrlLen, static_cast<int32_t>(0xABABABAB)) << "findings are copied only for a hit";
  }
}

TEST_F(CheckRequestTest, SeveralEnginesTheFirstHitWinsAndOnlyItsFindingsAreCopied) {
  Set(u"baidu", {300, 0, u"http://slow.example/baidu"});
  Set(u"bing", {30, 0, u"http://fast.example/bing"});
  Set(u"google", {0, 1, u""});
  EXPECT_TRUE(Check({Def(u"baidu"), Def(u"bing"), Def(u"google")}));
  EXPECT_EQ(std::u16string(result_.SEName), u"bing");
  EXPECT_EQ(std::u16string(result_.CheckUrl), u"http://fast.example/bing");
  EXPECT_EQ(result_.ErrorCode, 0);
  EXPECT_LT(result_.TotalMSecs, 3000);
  // The slow winner-to-be finishes later without touching the record.
  platform::SleepMs(400);
  EXPECT_EQ(std::u16string(result_.SEName), u"bing");
  EXPECT_EQ(SEInstDictCount(), 3u);
  // The same host thread reuses its engines.
  EXPECT_TRUE(Check({Def(u"baidu"), Def(u"bing")}));
  EXPECT_EQ(SEInstDictCount(), 3u);
}

TEST_F(CheckRequestTest, WhenEveryEngineMissesTheRequestEndsWithoutWaitingTheFullBudget) {
  DebugCapture cap;
  Set(u"baidu", {100, 1, u""});
  Set(u"bing", {50, -3, u""});
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(Check({Def(u"baidu"), Def(u"bing")}));
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(ms, 2500) << "the all-over event should end the wait";
  EXPECT_EQ(result_.ErrorCode, 255);
  EXPECT_THAT(cap.lines(), Contains(HasSubstr("- a sentence to check Not copy")));
}

// The engine's work takes its time on the fake clock, at once: a late hit
// ends the request as soon as every engine has answered, and since every
// thread has decided by then, what the record holds on return is final.
TEST_F(CheckRequestTest, AHitAfterTheBudgetLeavesTheRecordAsTheRequestLeftIt) {
  struct Case {
    uint32_t budgetMs;
    uint32_t takesMs;
    bool hit;
  } cases[] = {
      {kCheckTimeoutMs, kCheckTimeoutMs + 1, false},
      {kCheckTimeoutMs, kCheckTimeoutMs, true},  // the edge still counts
      {kCheckTimeoutMs, 60'000, false},
      {1000, 1001, false},  // a shortened budget keeps the rule
      {1000, 1000, true},
  };
  FakeClock clock;
  DebugCapture cap;
  for (const Case& c : cases) {
    Budget budget(c.budgetMs);
    const std::string what = std::to_string(c.takesMs) + " ms in a budget of " + std::to_string(c.budgetMs);
    cap.clear();
    std::memset(&result_, 0xAB, sizeof result_);
    Set(u"baidu", {0, 0, u"http://late.example/", c.takesMs});
    Set(u"bing", {0, 1, u""});
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Check({Def(u"baidu"), Def(u"bing")}), c.hit) << what;
    const auto realMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(realMs, static_cast<int64_t>(c.budgetMs)) << what << ": the answer came when every engine had, not at the budget's end";
    EXPECT_EQ(result_.UserData, 7) << what;
    EXPECT_EQ(result_.TotalMSecs, static_cast<int64_t>(c.takesMs)) << what;
    if (c.hit) {
      EXPECT_EQ(result_.ErrorCode, 0) << what;
      EXPECT_EQ(std::u16string(result_.SEName), u"baidu") << what;
      EXPECT_EQ(std::u16string(result_.CheckUrl), u"http://late.example/") << what;
      EXPECT_EQ(result_.MatchMSecs, static_cast<int64_t>(c.takesMs)) << what;
    } else {
      EXPECT_EQ(result_.ErrorCode, 255) << what;
      EXPECT_EQ(result_.SEName[0], 0xABAB) << what;
      EXPECT_EQ(result_.CheckUrlLen, static_cast<int32_t>(0xABABABAB)) << what;
      EXPECT_EQ(result_.MatchMSecs, kUntouchedMs) << what;
      EXPECT_THAT(cap.lines(), Contains(HasSubstr("- a sentence to check Not copy"))) << what;
      // The late engine had its say, against an unset event, before the
      // request stopped waiting: nothing of it is left to come.
      EXPECT_THAT(cap.lines(), Contains(HasSubstr("WaitForSingleObject:258"))) << what;
    }
    // After a hit the losing engine may still be logging; it must not
    // reach the next case's lines, nor the capture once it is gone.
    ASSERT_TRUE(platform::WaitForThreads(5000)) << what;
  }
}

// MatchMSecs and TotalMSecs count by the checks' clock, from the request's
// start, on both paths.
TEST_F(CheckRequestTest, TheRecordsElapsedTimesFollowTheChecksClock) {
  struct Case {
    const char* what;
    std::vector<std::u16string> engines;
    Behaviour baidu;
    bool hit;
    int64_t matchMs;  // kUntouchedMs: left as the host gave it
  } cases[] = {
      {"one engine, hit", {u"baidu"}, {0, 0, u"http://x/", 1234}, true, 1234},
      {"one engine, miss", {u"baidu"}, {0, 1, u"", 1234}, false, kUntouchedMs},
      {"one engine, hit at once", {u"baidu"}, {0, 0, u"http://x/", 0}, true, 0},
      {"several engines, hit", {u"baidu", u"bing"}, {0, 0, u"http://x/", 1234}, true, 1234},
      {"several engines, miss", {u"baidu", u"bing"}, {0, -3, u"", 1234}, false, kUntouchedMs},
  };
  FakeClock clock;
  Set(u"bing", {0, 1, u""});
  for (const Case& c : cases) {
    std::memset(&result_, 0xAB, sizeof result_);
    Set(u"baidu", c.baidu);
    std::vector<TZQSEDef> defs;
    for (const auto& e : c.engines) defs.push_back(Def(e));
    EXPECT_EQ(Check(defs), c.hit) << c.what;
    EXPECT_EQ(result_.TotalMSecs, static_cast<int64_t>(c.baidu.takesMs)) << c.what;
    EXPECT_EQ(result_.MatchMSecs, c.matchMs) << c.what;
  }
}

TEST_F(CheckRequestTest, RecordsWithUnknownIdsAreSkippedAndNoneLeftIsAnError) {
  DebugCapture cap;
  Set(u"bing", {0, 0, u"http://x/"});
  TZQSEDef unknown = Def(u"yahoo");
  EXPECT_TRUE(Check({unknown, Def(u"bing")}));
  EXPECT_THAT(cap.lines(), Contains(HasSubstr("No SE instance for ID:")));
  platform::SetLastError(0);
  EXPECT_FALSE(Check({unknown, unknown}));
  EXPECT_EQ(platform::GetLastError(), 87u);
  EXPECT_FALSE(Check({unknown}));
  EXPECT_EQ(platform::GetLastError(), 87u);
}

// An exception that reaches the top of the check callback ends the request
// with its failure and a log line, never in the host; the engine then goes
// on serving requests. The engine factory is the seam that throws.
TEST_F(CheckRequestTest, AnExceptionInACheckFailsTheRequestAndStaysInTheLibrary) {
  struct Case {
    const char* what;
    std::vector<std::u16string> engines;
    bool standard;  // a std::exception, or some other type
    const char* logged;
  } cases[] = {
      {"one engine, std::exception", {u"yahoo"}, true, "[ZQECheck] exception:factory failed"},
      {"one engine, other type", {u"yahoo"}, false, "[ZQECheck] exception:"},
      {"several engines, std::exception", {u"bing", u"yahoo"}, true, "[ZQECheck] exception:factory failed"},
      {"several engines, other type", {u"bing", u"yahoo"}, false, "[ZQECheck] exception:"},
  };
  Set(u"bing", {0, 0, u"http://found.example/bing"});
  for (const Case& c : cases) {
    SetSEInstFactory([standard = c.standard](int32_t id, const TZQSEDefArr& defs) -> TSEInstancePtr {
      if (id == HashSEName(u"yahoo")) {
        if (standard) throw std::runtime_error("factory failed");
        throw 42;
      }
      for (const auto& d : defs)
        if (d.ID == id) return std::make_shared<FakeEngine>(FieldText(d.Name), id);
      return nullptr;
    });
    DebugCapture cap;
    std::vector<TZQSEDef> defs;
    for (const auto& e : c.engines) defs.push_back(Def(e));
    bool returned = true;
    EXPECT_NO_THROW(returned = Check(defs)) << c.what;
    EXPECT_FALSE(returned) << c.what;
    EXPECT_THAT(cap.lines(), Contains(HasSubstr(c.logged))) << c.what;
    EXPECT_TRUE(Check({Def(u"bing")})) << c.what << ": the next request";
  }
}

TEST_F(CheckRequestTest, LongFindingsAreCutAt4097UnitsWithoutSplittingAPair) {
  std::u16string url(5000, u'u');
  url[4096] = 0xD83D;  // a pair across the cut
  url[4097] = 0xDE00;
  Set(u"google", {0, 0, url});
  EXPECT_TRUE(Check({Def(u"google")}));
  EXPECT_EQ(result_.CheckUrlLen, 4096);
  EXPECT_EQ(result_.CheckUrl[4096], 0);
  Set(u"google", {0, 0, std::u16string(5000, u'v')});
  EXPECT_TRUE(Check({Def(u"google")}));
  EXPECT_EQ(result_.CheckUrlLen, 4097);
  EXPECT_EQ(result_.CheckUrl[4097], 0);
  EXPECT_EQ(result_.CheckRemarkLen, 4097);
  EXPECT_EQ(result_.Reserved4[0], 0xAB);  // nothing written past the field
}

TEST_F(CheckRequestTest, CancelAllStopsARunningOneEngineCheckAndReturnsAfterIt) {
  Set(u"bing", {5000, 0, u"http://never/"});
  std::atomic<bool> done{false};
  bool answer = true;
  std::thread host([&] {
    answer = Check({Def(u"bing")});
    done = true;
  });
  platform::SleepMs(100);
  ZQECancelAll();
  EXPECT_EQ(platform::GetLastError(), 0u);
  host.join();
  EXPECT_TRUE(done.load());
  EXPECT_FALSE(answer);
  EXPECT_EQ(result_.ErrorCode, 254);  // -2, aborted
}

TEST_F(CheckRequestTest, UnInitReleasesEverythingAndInitWorksAgain) {
  Set(u"baidu", {0, 1, u""});
  Set(u"bing", {0, 1, u""});
  Check({Def(u"baidu"), Def(u"bing")});
  platform::SleepMs(50);
  ZQEUnInit();
  EXPECT_EQ(platform::GetLastError(), 0u);
  ZQEUnInit();
  EXPECT_EQ(platform::GetLastError(), 0u);
  for (int i = 0; i < 200 && gEnginesAlive.load() != 0; ++i) platform::SleepMs(5);
  EXPECT_EQ(gEnginesAlive.load(), 0);

  DebugCapture cap;
  EXPECT_FALSE(Check({Def(u"baidu")}));
  EXPECT_EQ(platform::GetLastError(), 21u);
  EXPECT_THAT(cap.lines(), Contains(HasSubstr("call InitZQE first")));
  ASSERT_TRUE(InitSEInstances());
  Set(u"baidu", {0, 0, u"http://again/"});
  EXPECT_TRUE(Check({Def(u"baidu")}));
}

TEST_F(CheckRequestTest, DefinitionsReadBackCountCopyAndMismatch) {
  int32_t count = -1;
  ZQEGetSEDefArr(nullptr, &count);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(platform::GetLastError(), 0u);
  std::vector<TZQSEDef> buf(4);
  std::memset(buf.data(), 0x5A, sizeof(TZQSEDef) * buf.size());
  TZQSEDef* p = buf.data();
  int32_t wrong = 4;
  ZQEGetSEDefArr(&p, &wrong);
  EXPECT_EQ(platform::GetLastError(), 24u);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(buf.data())[0], 0x5A);
  ZQEGetSEDefArr(&p, &count);
  EXPECT_EQ(platform::GetLastError(), 0u);
  EXPECT_EQ(std::memcmp(buf.data(), SEDefArr.data(), 3 * sizeof(TZQSEDef)), 0);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(&buf[3])[0], 0x5A);
}

TEST_F(CheckRequestTest, ManyHostThreadsGetConsistentRecords) {
  Set(u"baidu", {5, 0, u"http://r/baidu"});
  Set(u"bing", {1, 1, u""});
  Set(u"google", {3, 0, u"http://r/google"});
  std::atomic<int> mixed{0}, hits{0};
  std::vector<std::thread> hosts;
  for (int t = 0; t < 4; ++t) {
    hosts.emplace_back([&] {
      std::vector<TZQSEDef> defs = {Def(u"baidu"), Def(u"bing"), Def(u"google")};
      TZQECheckParams params{0, 0, defs.data(), 3, 0};
      for (int i = 0; i < 25; ++i) {
        TZQECheckResult r{};
        if (ZQECheck(u"text", nullptr, &params, i, &r)) {
          ++hits;
          const std::u16string name(r.SEName), url(r.CheckUrl);
          if (url != u"http://r/" + name || r.ErrorCode != 0 || r.UserData != i) ++mixed;
        }
      }
    });
  }
  std::thread canceller([] {
    for (int i = 0; i < 5; ++i) {
      platform::SleepMs(3);
      ZQECancelAll();
    }
  });
  for (auto& h : hosts) h.join();
  canceller.join();
  // A cancel may turn a hit into an aborted miss; it may never mix engines.
  EXPECT_EQ(mixed.load(), 0);
  EXPECT_GT(hits.load(), 50);
  EXPECT_EQ(SEInstDictCount(), 12u);  // 3 engines for each of 4 host threads
}

// A cancel from another thread while the host re-initialises and shuts
// the engine down: the registry and the dictionary are replaced under the
// cancel's feet (run under TSan, which reports any unguarded access).
TEST_F(CheckRequestTest, CancelAllIsSafeWhileInitAndUnInitReplaceTheEngines) {
  Set(u"baidu", {5, 1, u""});
  std::atomic<bool> stop{false};
  std::thread canceller([&] {
    while (!stop) ZQECancelAll();
  });
  std::thread checker([&] {
    TZQSEDef defs[] = {Def(u"baidu"), Def(u"bing")};
    TZQECheckParams params{0, 0, defs, 2, 0};
    TZQECheckResult r;
    while (!stop) ZQECheck(u"a sentence to check", nullptr, &params, 1, &r);
  });
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(InitSEInstances());
    if (i % 2 == 0) ZQEUnInit();
  }
  stop = true;
  canceller.join();
  checker.join();
  ASSERT_TRUE(InitSEInstances());
  EXPECT_FALSE(Check({Def(u"baidu")}));  // still answers: no hit from the fake engine
  EXPECT_EQ(result_.ErrorCode, 1);
}

}  // namespace
}  // namespace zqe
