// Many host threads checking through the real library at once, with
// cancels from another thread, and what the process holds afterwards.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <sstream>
#include <thread>

#include "HostCheckSupport.h"
#include "platform/HostSupport.h"

namespace zqe::hosttest {
namespace {

// Three engines that can find a sentence (one of them slow) and two that
// always fail: an HTTP 500 and a page without body (both code -3).
// Fetches run one at a time process-wide, so the slow engine's delay is
// paid for every check that selects it: kept short, it still makes checks
// queue behind each other and run past their budget.
const std::vector<EngineSetup> kEngines = {
    {"baidu", ""}, {"sougou", "delay=25&"}, {"360so", ""}, {"bing", "mode=500&"}, {"google", "mode=nobody&"}};
const std::vector<std::string> kCanFind = {"baidu", "sougou", "360so"};

#if defined(ZQE_PLATFORM_WINDOWS)
constexpr int kChecksPerThread = 40;  // under Wine every thread start and fetch costs far more
#else
constexpr int kChecksPerThread = 200;
#endif
constexpr int kHostThreads = 8;

struct Text {
  const char16_t* text;
  int passage;  // 0: in no passage
};
const Text kTexts[] = {{kFox, 2}, {kZebra, 3}, {kChinese, 1}, {kMiss, 0}};

// Every choice of three of the five engines.
std::vector<std::vector<std::string>> Selections() {
  std::vector<std::vector<std::string>> out;
  for (size_t a = 0; a < kEngines.size(); ++a)
    for (size_t b = a + 1; b < kEngines.size(); ++b)
      for (size_t c = b + 1; c < kEngines.size(); ++c)
        out.push_back({kEngines[a].name, kEngines[b].name, kEngines[c].name});
  return out;
}

std::string Describe(const platform::ProcessResources& r) {
  std::ostringstream s;
  s << r.threads << " threads, " << r.handles << " handles, " << r.residentBytes / 1024 << " KB resident";
  return s.str();
}

// Compete threads of requests that stopped waiting free themselves when
// their engine answers; gives them time to reach `level`.
platform::ProcessResources Settled(const platform::ProcessResources& level) {
  platform::ProcessResources now = platform::ProcessResourceCounts();
  for (int waited = 0; waited < 20000 && (now.threads > level.threads || now.handles > level.handles); waited += 100) {
    platform::SleepMs(100);
    now = platform::ProcessResourceCounts();
  }
  return now;
}

// Empty when the record is one a request may leave, else what is wrong.
std::string Inconsistency(bool found, const TZQECheckResult& before, const TZQECheckResult& r, int32_t userData,
                          const std::vector<std::string>& selected, const Text& text) {
  if (!found) {
    if (r.TotalMSecs < 0) return "negative TotalMSecs";
    return FirstDifference(Expected(before, r, userData, 255, std::nullopt, std::nullopt), r);
  }
  const std::string winner = U16ToUtf8(FieldText(r.SEName));
  if (text.passage == 0) return "a sentence in no passage was found by " + winner;
  if (std::find(selected.begin(), selected.end(), winner) == selected.end()) return winner + " was not selected";
  if (std::find(kCanFind.begin(), kCanFind.end(), winner) == kCanFind.end()) return winner + " cannot find anything";
  if (r.MatchMSecs < 0 || r.MatchMSecs > r.TotalMSecs) return "MatchMSecs outside the request";
  const std::string diff =
      FirstDifference(Expected(before, r, userData, 0, AsciiToU16(winner), HitOn(winner, text.passage)), r);
  return diff.empty() ? "" : winner + ": " + diff;
}

TEST(HostStress, EightHostThreadsWithCancelsThenEverythingIsGivenBack) {
  if (test::SerpSim::Get().port() == 0) GTEST_SKIP() << test::SerpSim::Get().problem();
  const TInitZQE init = InitEntry();
  ASSERT_NE(init, nullptr);
  const std::u16string definitions = WriteDefinitions("engines.ini", kEngines).u16string();
  const auto selections = Selections();

  const platform::ProcessResources before = platform::ProcessResourceCounts();

  TZQEInterface intf{};
  intf.Size = sizeof intf;
  intf.Magic = ZQE_INTERFACE_MAGIC;
  // One check on a thread of the host's and a shut-down first: what is
  // there afterwards is not the engine's. The system may keep a worker
  // after the first fetch (WinHTTP under Wine does), ThreadSanitizer one
  // after the first thread start.
  ASSERT_EQ(init(definitions.c_str(), &intf), 0);
  std::thread([&] {
    const TZQSEDef def = Selected(u"baidu");
    TZQECheckParams params{};
    params.SEDefs = &def;
    params.SECount = 1;
    Record r;
    EXPECT_TRUE(intf.Check(kFox, nullptr, &params, 0, &r.r));
  }).join();
  intf.UnInit();
  const platform::ProcessResources warm = platform::ProcessResourceCounts();

  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(init(definitions.c_str(), &intf), 0);

  std::atomic<int> hits{0}, misses{0}, cancels{0}, bad{0};
  std::atomic<bool> done{false};
  std::mutex problemsLock;
  std::vector<std::string> problems;

  std::thread canceller([&] {
    while (!done) {
      platform::SleepMs(150);
      intf.CancelAll();
      ++cancels;
    }
  });
  std::vector<std::thread> hosts;
  for (int h = 0; h < kHostThreads; ++h) {
    hosts.emplace_back([&, h] {
      std::vector<TZQSEDef> defs(3);
      for (int i = 0; i < kChecksPerThread; ++i) {
        const auto& selected = selections[(i + 3 * h) % selections.size()];
        const Text& text = kTexts[(i + h) % std::size(kTexts)];
        for (size_t k = 0; k < 3; ++k) defs[k] = Selected(AsciiToU16(selected[k]));
        TZQECheckParams params{};
        params.SEDefs = defs.data();
        params.SECount = 3;
        const Record before;
        Record r;
        const int32_t userData = h * 100000 + i;
        const bool found = intf.Check(text.text, nullptr, &params, userData, &r.r) != 0;
        (found ? hits : misses)++;
        const std::string problem = Inconsistency(found, before.r, r.r, userData, selected, text);
        if (!problem.empty()) {
          ++bad;
          std::lock_guard<std::mutex> lock(problemsLock);
          if (problems.size() < 10) problems.push_back(problem);
        }
      }
    });
  }
  for (auto& t : hosts) t.join();
  done = true;
  canceller.join();
  const int64_t checking = MillisSince(t0);

  intf.UnInit();
  EXPECT_EQ(LastError(), 0u);

  const platform::ProcessResources after = Settled(warm);
  std::printf("%d checks in %lld ms: %d found, %d not found, %d cancels\nbefore InitZQE:      %s\n"
              "after one check:     %s\nafter all, UnInit:   %s\n",
              kHostThreads * kChecksPerThread, static_cast<long long>(checking), hits.load(), misses.load(),
              cancels.load(), Describe(before).c_str(), Describe(warm).c_str(), Describe(after).c_str());

  EXPECT_EQ(bad, 0) << ::testing::PrintToString(problems);
  EXPECT_GT(hits, 0);
  EXPECT_GT(misses, 0);
  EXPECT_LE(after.threads, warm.threads);
  EXPECT_LE(after.handles, warm.handles);
#if !defined(ZQE_PLATFORM_WINDOWS) && !defined(__SANITIZE_THREAD__)
  EXPECT_LE(after.threads, before.threads);
  EXPECT_LE(after.handles, before.handles);
#endif
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // Allocators keep some freed memory for later; anything that grows with
  // the number of checks would exceed this many times over. (Sanitizers
  // hold freed memory back on purpose.)
  EXPECT_LE(after.residentBytes, before.residentBytes + 16u * 1024 * 1024);
#endif
}

}  // namespace
}  // namespace zqe::hosttest
