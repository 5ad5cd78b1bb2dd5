#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>

#include "TestSupport.h"
#include "engine/CompeteThread.h"

namespace zqe {
namespace {

using test::DebugCapture;
using ::testing::Contains;
using ::testing::HasSubstr;

struct Delivery {
  std::atomic<int> calls{0};
  std::atomic<int> winner{-1};
};

// A clock that stands still until a thread's work moves it on.
std::atomic<int64_t> gThreadClockMs{0};
std::chrono::steady_clock::time_point ThreadClockNow() {
  return std::chrono::steady_clock::time_point(std::chrono::milliseconds(gThreadClockMs.load()));
}

class FakeThread : public TCompeteThread {
 public:
  FakeThread(std::shared_ptr<TCompeteGroup> g, int32_t timeout, int id, std::function<bool()> work,
             TCheckClock clock)
      : TCompeteThread(std::move(g), timeout, clock), id_(id), work_(std::move(work)) {
    OnCompete = [](TCompeteThread* sender, void* ctx) {
      auto* d = static_cast<Delivery*>(ctx);
      d->calls++;
      d->winner = static_cast<FakeThread*>(sender)->id_;
    };
  }

 protected:
  bool Work() override { return work_(); }

 private:
  int id_;
  std::function<bool()> work_;
};

std::shared_ptr<platform::Event> StartFake(std::shared_ptr<TCompeteGroup> g, int32_t timeout, int id,
                                           std::function<bool()> work, Delivery& d,
                                           TCheckClock clock = &SteadyClockNow) {
  auto t = std::make_unique<FakeThread>(g, timeout, id, std::move(work), clock);
  t->PCompeteContext = &d;
  auto done = t->Handle();
  EXPECT_TRUE(TCompeteThread::Start(std::move(t)));
  return done;
}

TEST(CompeteThreadTest, TheFirstSuccessWinsAndTheSecondFindsTheEventSet) {
  DebugCapture cap;
  auto g = std::make_shared<TCompeteGroup>();
  Delivery d;
  auto first = StartFake(g, 3000, 1, [] { return true; }, d);
  ASSERT_EQ(platform::WaitForOne(*first, 5000), 0);
  auto second = StartFake(g, 3000, 2, [] { return true; }, d);
  ASSERT_EQ(platform::WaitForOne(*second, 5000), 0);
  EXPECT_EQ(d.calls.load(), 1);
  EXPECT_EQ(d.winner.load(), 1);
  EXPECT_EQ(platform::WaitForOne(g->WinEvent(), 0), 0);
  EXPECT_THAT(cap.lines(), Contains(HasSubstr("WaitForSingleObject:258")));
  EXPECT_THAT(cap.lines(), Contains(HasSubstr("WaitForSingleObject:0")));
}

TEST(CompeteThreadTest, ManyRacingThreadsDeliverExactlyOnce) {
  auto g = std::make_shared<TCompeteGroup>();
  Delivery d;
  std::vector<std::shared_ptr<platform::Event>> done;
  for (int i = 0; i < 16; ++i) done.push_back(StartFake(g, 3000, i, [] { return true; }, d));
  for (auto& e : done) ASSERT_EQ(platform::WaitForOne(*e, 5000), 0);
  EXPECT_EQ(d.calls.load(), 1);
}

TEST(CompeteThreadTest, FailuresExceptionsAndLateSuccessesDoNotDeliver) {
  auto g = std::make_shared<TCompeteGroup>();
  Delivery d;
  auto fails = StartFake(g, 3000, 1, [] { return false; }, d);
  auto throws = StartFake(g, 3000, 2, []() -> bool { throw std::runtime_error("engine broke"); }, d);
  auto late = StartFake(g, 20, 3, [] {
    gThreadClockMs += 21;
    return true;
  }, d, &ThreadClockNow);
  for (auto* e : {&fails, &throws, &late}) ASSERT_EQ(platform::WaitForOne(**e, 5000), 0);
  EXPECT_EQ(d.calls.load(), 0);
  EXPECT_EQ(platform::WaitForOne(g->WinEvent(), 0), platform::kWaitTimeout);
}

TEST(CompeteThreadTest, ASuccessCountsWhileItsTimeIsWithinTheBudget) {
  struct Case {
    int32_t timeoutMs;
    int64_t takesMs;
    bool delivers;
  } cases[] = {
      {20, 0, true}, {20, 20, true}, {20, 21, false}, {0, 0, true}, {0, 1, false}, {3000, 3001, false},
  };
  for (const Case& c : cases) {
    auto g = std::make_shared<TCompeteGroup>();
    Delivery d;
    auto done = StartFake(g, c.timeoutMs, 1, [takes = c.takesMs] {
      gThreadClockMs += takes;
      return true;
    }, d, &ThreadClockNow);
    ASSERT_EQ(platform::WaitForOne(*done, 5000), 0);
    EXPECT_EQ(d.calls.load(), c.delivers ? 1 : 0) << c.takesMs << " ms in " << c.timeoutMs;
    EXPECT_EQ(platform::WaitForOne(g->WinEvent(), 0), c.delivers ? 0 : platform::kWaitTimeout)
        << c.takesMs << " ms in " << c.timeoutMs;
  }
}

TEST(CompeteThreadTest, AThreadDecidingAfterTheGroupClosedFindsItGone) {
  DebugCapture cap;
  auto g = std::make_shared<TCompeteGroup>();
  Delivery d;
  platform::Event release(true, false);
  auto done = StartFake(g, 3000, 1, [&] {
    platform::WaitForOne(release, 5000);
    return true;
  }, d);
  g->Close();
  g.reset();  // the request is gone; the thread keeps the group alive
  release.Set();
  ASSERT_EQ(platform::WaitForOne(*done, 5000), 0);
  EXPECT_EQ(d.calls.load(), 0);
  EXPECT_THAT(cap.lines(), Contains(HasSubstr("WaitForSingleObject:-1")));
}

}  // namespace
}  // namespace zqe
