// The real library loaded by name and driven only through InitZQE and its
// four callbacks, with every engine pointed at serp-sim. The library's
// state is process-wide and definitions stay loaded once read, so the
// status table comes first and later tests initialise when they need to.
#include <algorithm>
#include <thread>

#include "HostCheckSupport.h"

extern "C" int ZqeCHostSequence(TInitZQE init, const ZQEChar* definitions, const ZQEChar* sentence,
                                TZQECheckResult* result, uint8_t* found);

namespace zqe::hosttest {
namespace {

// A slow engine, one that answers after the 3000 ms budget, one whose page
// has no body (code -3, stored as 253), and two plain ones.
const std::vector<EngineSetup> kEngines = {
    {"baidu", ""}, {"sougou", "delay=400&"}, {"bing", ""}, {"360so", "delay=4500&"}, {"google", "mode=nobody&"}};

TZQEInterface gIntf{};
bool gReady = false;

class HostCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::SerpSim::Get().port() == 0) GTEST_SKIP() << test::SerpSim::Get().problem();
    ASSERT_NE(InitEntry(), nullptr);
  }
  static std::filesystem::path Definitions() { return WriteDefinitions("engines.ini", kEngines); }
  static void Ready() {
    if (gReady) return;
    gIntf = TZQEInterface{};
    gIntf.Size = sizeof gIntf;
    gIntf.Magic = ZQE_INTERFACE_MAGIC;
    ASSERT_EQ(InitEntry()(Definitions().u16string().c_str(), &gIntf), 0);
    gReady = true;
  }
  // A check as a host makes it; `lastError` is read straight after.
  static bool Check(const std::vector<std::u16string>& engines, const char16_t* text, int32_t userData,
                    TZQECheckResult& r, uint32_t* lastError = nullptr) {
    std::vector<TZQSEDef> defs;
    for (const auto& e : engines) defs.push_back(Selected(e));
    TZQECheckParams params{};
    params.SEDefs = defs.data();
    params.SECount = static_cast<int32_t>(defs.size());
    const bool found = gIntf.Check(text, nullptr, &params, userData, &r) != 0;
    if (lastError) *lastError = LastError();
    return found;
  }
};

// Needs a library no InitZQE has loaded definitions into: runs in a
// process of its own, whatever order the other tests run in.
TEST_F(HostCheck, StatusTableThenDefinitionsStayLoaded) {
  const auto [code, output] = RunTestInChild("HostCheck.DISABLED_StatusTableThenDefinitionsStayLoadedInAFreshProcess");
  EXPECT_EQ(code, 0) << output;
  EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

TEST_F(HostCheck, DISABLED_StatusTableThenDefinitionsStayLoadedInAFreshProcess) {
  const TInitZQE init = InitEntry();
  const std::u16string missing = (TempDir() / "no-such.ini").u16string();

  EXPECT_EQ(init(missing.c_str(), nullptr), 87);
  EXPECT_EQ(LastError(), 87u);

  const struct {
    uint32_t size, magic;
    int32_t status;
  } badRecords[] = {
      {99, 1, 1},  // the magic is tested before the size
      {sizeof(TZQEInterface), ZQE_INTERFACE_MAGIC + 1, 1},
      {sizeof(TZQEInterface) + 4, ZQE_INTERFACE_MAGIC, 24},
      {0, ZQE_INTERFACE_MAGIC, 24},
  };
  for (const auto& c : badRecords) {
    TZQEInterface intf{};
    intf.Size = c.size;
    intf.Magic = c.magic;
    EXPECT_EQ(init(missing.c_str(), &intf), c.status) << c.size << " " << c.magic;
    EXPECT_EQ(LastError(), static_cast<uint32_t>(c.status));
    EXPECT_EQ(intf.GetSEDefArr, nullptr);
    EXPECT_EQ(intf.Check, nullptr);
  }

  // A missing file: 1206 with last error 2, and the slots already filled.
  TZQEInterface intf{};
  intf.Size = sizeof intf;
  intf.Magic = ZQE_INTERFACE_MAGIC;
  EXPECT_EQ(init(missing.c_str(), &intf), 1206);
  EXPECT_EQ(LastError(), 2u);
  ASSERT_NE(intf.GetSEDefArr, nullptr);
  ASSERT_NE(intf.UnInit, nullptr);
  ASSERT_NE(intf.Check, nullptr);
  ASSERT_NE(intf.CancelAll, nullptr);
  gIntf = intf;

  // No check before a successful InitZQE; the record stays as it was.
  Record r;
  const Record before;
  uint32_t le = 0;
  EXPECT_FALSE(Check({u"baidu"}, kFox, 7, r.r, &le));
  EXPECT_EQ(le, 21u);
  EXPECT_EQ(FirstDifference(before.r, r.r), "");

#if !defined(ZQE_PLATFORM_WINDOWS)
  // A file that exists but cannot be read.
  EXPECT_EQ(init(u"/proc/self/mem", &intf), 1206);
  EXPECT_EQ(LastError(), 30u);
#endif

  // No usable section: a section without surl is skipped by the loader, one
  // that names no known engine by the registry. Zero engines is a success.
  const auto unusable = TempDir() / "unusable.ini";
  WriteUtf16File(unusable, "[baidu]\r\nTitle=b\r\nurl=http://127.0.0.1:1/\r\n\r\n[altavista]\r\nTitle=a\r\n"
                           "url=http://127.0.0.1:1/\r\nsurl=http://127.0.0.1:1/s?q=%s\r\n");
  EXPECT_EQ(init(unusable.u16string().c_str(), &intf), 0);
  EXPECT_EQ(LastError(), 0u);
  int32_t count = -1;
  intf.GetSEDefArr(nullptr, &count);
  EXPECT_EQ(count, 0);
  // No selected engine can be made.
  EXPECT_FALSE(Check({u"baidu"}, kFox, 7, r.r, &le));
  EXPECT_EQ(le, 87u);
  EXPECT_FALSE(Check({u"baidu", u"bing"}, kFox, 7, r.r, &le));
  EXPECT_EQ(le, 87u);

  TZQEInterface ok{};
  ok.Size = sizeof ok;
  ok.Magic = ZQE_INTERFACE_MAGIC;
  EXPECT_EQ(init(Definitions().u16string().c_str(), &ok), 0);
  EXPECT_EQ(LastError(), 0u);
  EXPECT_EQ(ok.GetSEDefArr, intf.GetSEDefArr);
  EXPECT_EQ(ok.UnInit, intf.UnInit);
  EXPECT_EQ(ok.Check, intf.Check);
  EXPECT_EQ(ok.CancelAll, intf.CancelAll);
  gIntf = ok;
  gReady = true;

  // Loaded definitions are kept: the file is not read again, the engines
  // are made anew.
  EXPECT_EQ(init(missing.c_str(), &intf), 0);
  EXPECT_EQ(LastError(), 0u);
  intf.GetSEDefArr(nullptr, &count);
  EXPECT_EQ(count, 5);
  EXPECT_TRUE(Check({u"baidu"}, kFox, 7, r.r));
}

TEST_F(HostCheck, DefinitionsReadBackCountCopyAndMismatch) {
  Ready();
  int32_t count = -1;
  gIntf.GetSEDefArr(nullptr, &count);
  EXPECT_EQ(LastError(), 0u);
  ASSERT_EQ(count, 5);

  std::vector<TZQSEDef> defs(5);
  std::memset(defs.data(), 0x5A, defs.size() * sizeof(TZQSEDef));
  TZQSEDef* buffer = defs.data();
  gIntf.GetSEDefArr(&buffer, &count);
  EXPECT_EQ(LastError(), 0u);
  for (size_t i = 0; i < kEngines.size(); ++i) {
    const auto& e = kEngines[i];
    TZQSEDef want{};  // every byte the loader does not fill is zero
    want.len = 5976;
    want.ver = 1;
    PutText(want.Tag, AsciiToU16("t-" + e.name));
    want.ID = HashName(AsciiToU16(e.name));
    PutText(want.Name, AsciiToU16(e.name));
    PutText(want.Title, AsciiToU16(e.name + " on serp-sim"));
    PutText(want.url, AsciiToU16(HomeUrl(e.name)));
    PutText(want.surl, AsciiToU16(SearchUrl(e)));
    PutText(want.Icon, AsciiToU16(e.name + ".ico"));
    want.HttpTimeOut = 15000;
    PutText(want.Remark, AsciiToU16(e.name + " engine"));
    EXPECT_EQ(std::memcmp(&want, &defs[i], sizeof want), 0) << e.name << ": " << U16ToUtf8(FieldText(defs[i].surl));
  }

  // A count that differs copies nothing.
  for (int32_t wrong : {4, 6}) {
    std::vector<TZQSEDef> other(6);
    std::memset(other.data(), 0x5A, other.size() * sizeof(TZQSEDef));
    TZQSEDef* p = other.data();
    int32_t n = wrong;
    gIntf.GetSEDefArr(&p, &n);
    EXPECT_EQ(LastError(), 24u) << wrong;
    EXPECT_EQ(n, wrong);
    const auto* bytes = reinterpret_cast<const unsigned char*>(other.data());
    EXPECT_TRUE(std::all_of(bytes, bytes + other.size() * sizeof(TZQSEDef), [](unsigned char b) { return b == 0x5A; }))
        << wrong;
  }
}

TEST_F(HostCheck, InvalidArgumentsLeaveTheRecordAlone) {
  Ready();
  TZQSEDef def = Selected(u"baidu");
  TZQECheckParams params{};
  params.SEDefs = &def;
  params.SECount = 1;
  TZQECheckParams none = params;
  none.SECount = 0;
  Record r;
  const Record before;
  const struct {
    const char* what;
    const char16_t* text;
    const TZQECheckParams* params;
    TZQECheckResult* result;
  } cases[] = {
      {"null text", nullptr, &params, &r.r},   {"empty text", u"", &params, &r.r},
      {"null params", kFox, nullptr, &r.r},    {"no engine", kFox, &none, &r.r},
      {"null result", kFox, &params, nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(gIntf.Check(c.text, nullptr, c.params, 1, c.result), 0) << c.what;
    EXPECT_EQ(LastError(), 87u) << c.what;
    EXPECT_EQ(FirstDifference(before.r, r.r), "") << c.what;
  }
}

TEST_F(HostCheck, OneEngineRecordsByteForByte) {
  Ready();
  const struct {
    const char16_t* engine;
    const char16_t* text;
    bool found;
    uint8_t code;
    int64_t atLeastMs;
  } cases[] = {
      {u"baidu", kFox, true, 0, 0},
      {u"bing", kFox, true, 0, 0},
      {u"sougou", kFox, true, 0, 380},
      {u"baidu", kMiss, false, 1, 0},
      {u"google", kFox, false, 253, 0},  // no body: -3
      {u"bing", kChinese, true, 0, 0},
      {u"bing", kZebra, true, 0, 0},
  };
  int32_t userData = 1000;
  for (const auto& c : cases) {
    const std::string engine = U16ToUtf8(c.engine);
    Record r;
    const Record before;
    EXPECT_EQ(Check({c.engine}, c.text, ++userData, r.r), c.found) << engine;
    std::optional<Findings> found;
    if (c.found) found = HitOn(engine, PassageOf(c.text));
    EXPECT_EQ(FirstDifference(Expected(before.r, r.r, userData, c.code, std::u16string(c.engine), found), r.r), "")
        << engine;
    EXPECT_GE(r.r.TotalMSecs, c.atLeastMs) << engine;
    EXPECT_LT(r.r.TotalMSecs, 10000) << engine;
    if (c.found) {
      EXPECT_GE(r.r.MatchMSecs, c.atLeastMs) << engine;
      EXPECT_LE(r.r.MatchMSecs, r.r.TotalMSecs) << engine;
    }
  }
}

// All fetches of the process run one after another, so which of several
// engines that can find a sentence reaches the network first is not known.
TEST_F(HostCheck, SeveralEnginesRecordsByteForByte) {
  Ready();
  const struct {
    std::vector<std::u16string> engines;
    const char16_t* text;
    std::vector<std::u16string> winners;  // empty: no engine found it
    int64_t atLeastMs;
  } cases[] = {
      {{u"google", u"baidu"}, kFox, {u"baidu"}, 0},
      {{u"google", u"bing", u"baidu"}, kChinese, {u"bing", u"baidu"}, 0},
      {{u"google", u"sougou"}, kZebra, {u"sougou"}, 380},
      {{u"nosuch", u"bing"}, kFox, {u"bing"}, 0},  // an unknown engine is skipped
      {{u"google", u"bing", u"sougou"}, kMiss, {}, 380},
  };
  int32_t userData = -5;
  for (const auto& c : cases) {
    std::string what;
    for (const auto& e : c.engines) what += U16ToUtf8(e) + " ";
    Record r;
    const Record before;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Check(c.engines, c.text, --userData, r.r), !c.winners.empty()) << what;
    const int64_t took = MillisSince(t0);
    std::optional<Findings> found;
    std::optional<std::u16string> name;
    if (!c.winners.empty()) {
      const std::u16string winner = FieldText(r.r.SEName);
      ASSERT_NE(std::find(c.winners.begin(), c.winners.end(), winner), c.winners.end()) << what << U16ToUtf8(winner);
      found = HitOn(U16ToUtf8(winner), PassageOf(c.text));
      name = winner;
    }
    EXPECT_EQ(FirstDifference(Expected(before.r, r.r, userData, c.winners.empty() ? 255 : 0, name, found), r.r), "")
        << what;
    EXPECT_GE(took, c.atLeastMs) << what;
    EXPECT_LT(took, 2500) << what;
    EXPECT_LE(r.r.TotalMSecs, took) << what;
    if (found) {
      EXPECT_GE(r.r.MatchMSecs, c.atLeastMs) << what;
      EXPECT_LE(r.r.MatchMSecs, r.r.TotalMSecs) << what;
    }
  }
}

TEST_F(HostCheck, TwoEnginesThatBothHitFillTheRecordFromOne) {
  Ready();
  for (int i = 0; i < 4; ++i) {
    Record r;
    const Record before;
    ASSERT_TRUE(Check({u"baidu", u"bing"}, kFox, i, r.r));
    const std::u16string winner = FieldText(r.r.SEName);
    ASSERT_TRUE(winner == u"baidu" || winner == u"bing") << U16ToUtf8(winner);
    EXPECT_EQ(FirstDifference(Expected(before.r, r.r, i, 0, winner, HitOn(U16ToUtf8(winner), 2)), r.r), "");
  }
}

TEST_F(HostCheck, WhenEveryEngineMissesWithin500MsTheCheckReturnsThen) {
  Ready();
  Record r;
  const Record before;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(Check({u"sougou", u"baidu", u"google"}, kMiss, 3, r.r));
  const int64_t took = MillisSince(t0);
  EXPECT_GE(took, 380);
  EXPECT_LT(took, 2500);  // not the 3000 ms budget
  EXPECT_EQ(FirstDifference(Expected(before.r, r.r, 3, 255, std::nullopt, std::nullopt), r.r), "");
}

TEST_F(HostCheck, AHitAfter3000MsLeavesErrorCode255AndNothingWritesLater) {
  Ready();
  Record r;
  const Record before;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(Check({u"360so", u"google"}, kFox, 9, r.r));
  const int64_t took = MillisSince(t0);
  EXPECT_GE(took, 2900);
  EXPECT_LT(took, 4400);  // not until 360so answers
  const TZQECheckResult left = Expected(before.r, r.r, 9, 255, std::nullopt, std::nullopt);
  EXPECT_EQ(FirstDifference(left, r.r), "");
  EXPECT_GE(r.r.TotalMSecs, 2900);
  // 360so finds it at about 4500 ms and must not write into the record.
  platform::SleepMs(2000);
  EXPECT_EQ(FirstDifference(left, r.r), "");
}

TEST_F(HostCheck, CancelAllDuringASlowOneEngineCheckEndsItsFetch) {
  Ready();
  Record r;
  const Record before;
  bool found = true;
  std::thread host([&] { found = Check({u"360so"}, kFox, 11, r.r); });
  platform::SleepMs(500);  // the request is on the wire
  const auto t0 = std::chrono::steady_clock::now();
  gIntf.CancelAll();
  const uint32_t le = LastError();
  const int64_t took = MillisSince(t0);
  host.join();
  EXPECT_EQ(le, 0u);
  // The fetch of about 4500 ms is ended, not waited for; the check has
  // ended (aborted) by the time the cancel returns. (Wine's WinHTTP, unlike
  // Windows', lets a pending receive finish when its handle is closed.)
#if !defined(ZQE_PLATFORM_WINDOWS)
  EXPECT_LT(took, 1500);
#else
  EXPECT_LT(took, 5500);
#endif
  EXPECT_FALSE(found);
  EXPECT_EQ(FirstDifference(Expected(before.r, r.r, 11, 254, std::u16string(u"360so"), std::nullopt), r.r), "");
}

TEST_F(HostCheck, CancelAllStopsTheWouldBeWinnerOfASeveralEnginesCheck) {
  Ready();
  Record r;
  const Record before;
  bool found = true;
  int64_t took = 0;
  std::thread host([&] {
    const auto t0 = std::chrono::steady_clock::now();
    found = Check({u"sougou", u"nosuch"}, kFox, 12, r.r);
    took = MillisSince(t0);
  });
  platform::SleepMs(150);
  gIntf.CancelAll();
  host.join();
  EXPECT_FALSE(found);  // sougou would have found it at about 400 ms
  EXPECT_LT(took, 2500);
  EXPECT_EQ(FirstDifference(Expected(before.r, r.r, 12, 255, std::nullopt, std::nullopt), r.r), "");
  // The engines work again after a cancel.
  Record again;
  EXPECT_TRUE(Check({u"sougou", u"google"}, kFox, 13, again.r));
}

// Fetches run one at a time process-wide: an engine waiting behind a slow
// fetch must not keep the cancel from reaching the engine that owns it.
TEST_F(HostCheck, CancelAllStopsEveryRunningCheckNotOnlyTheFirstItWaitsFor) {
  Ready();
  Record slow;
  bool found = true;
  // Thread A: a one-engine check whose 400 ms fetch is on the wire.
  std::thread a([&] { found = Check({u"sougou"}, kFox, 21, slow.r); });
  platform::SleepMs(100);
  // Thread B: a several-engines check whose engines (earlier in the
  // cancel's order) queue behind A's fetch.
  std::thread b([&] {
    Record r;
    Check({u"google", u"bing"}, kMiss, 22, r.r);
  });
  platform::SleepMs(100);
  gIntf.CancelAll();
  a.join();
  b.join();
  EXPECT_FALSE(found);
  EXPECT_EQ(slow.r.ErrorCode, 254);  // -2: aborted
}

TEST_F(HostCheck, UnInitTwiceThenChecksAreRefusedUntilInitZQEAgain) {
  Ready();
  Record r;
  const Record before;
  uint32_t le = 0;
  EXPECT_FALSE(Check({u"nosuch"}, kFox, 1, r.r, &le));  // leaves last error 87
  ASSERT_EQ(le, 87u);
  gIntf.UnInit();
  EXPECT_EQ(LastError(), 0u);
  EXPECT_FALSE(Check({u"nosuch"}, kFox, 1, r.r, &le));
  gIntf.UnInit();
  EXPECT_EQ(LastError(), 0u);
  gReady = false;

  Record untouched;
  for (const auto& engines : {std::vector<std::u16string>{u"baidu"}, {u"baidu", u"bing"}}) {
    EXPECT_FALSE(Check(engines, kFox, 1, untouched.r, &le));
    EXPECT_EQ(le, 21u);
    EXPECT_EQ(FirstDifference(before.r, untouched.r), "");
  }
  gIntf.CancelAll();  // harmless after UnInit
  EXPECT_EQ(LastError(), 0u);

  Ready();
  int32_t count = 0;
  gIntf.GetSEDefArr(nullptr, &count);
  EXPECT_EQ(count, 5);
  EXPECT_TRUE(Check({u"baidu"}, kFox, 1, r.r));
  EXPECT_TRUE(Check({u"google", u"bing"}, kFox, 1, r.r));
}

TEST_F(HostCheck, TheCCallingSequence) {
  Record r;
  uint8_t found = 0;
  ASSERT_EQ(ZqeCHostSequence(InitEntry(), Definitions().u16string().c_str(), kFox, &r.r, &found), 0);
  gReady = false;  // the sequence ends with UnInit
  EXPECT_EQ(found, 1);
  const std::u16string winner = FieldText(r.r.SEName);
  ASSERT_TRUE(winner == u"baidu" || winner == u"sougou") << U16ToUtf8(winner);
  TZQECheckResult zero;
  std::memset(&zero, 0, sizeof zero);
  EXPECT_EQ(FirstDifference(Expected(zero, r.r, 42, 0, winner, HitOn(U16ToUtf8(winner), 2)), r.r), "");
}

// Texts longer than a result field (4097 units and the terminator): serp-sim's
// links, display URLs and snippets are short, so the cut is shown by the
// engine's unit tests (CheckRequestTest.LongFindingsAreCutAt4097Units...).

}  // namespace
}  // namespace zqe::hosttest
