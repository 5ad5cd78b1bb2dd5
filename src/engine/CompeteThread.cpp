#include "engine/CompeteThread.h"

#include <chrono>
#include <cstdio>

#include "log/zqTrace.h"
#include "platform/Text.h"

namespace zqe {

std::chrono::steady_clock::time_point SteadyClockNow() { return std::chrono::steady_clock::now(); }

TCompeteThread::TCompeteThread(std::shared_ptr<TCompeteGroup> group, int32_t timeout, TCheckClock clock)
    : group_(std::move(group)),
      FTimeout(timeout),
      FClock(clock ? clock : &SteadyClockNow),
      done_(std::make_shared<platform::Event>(true, false)) {}

TCompeteThread::~TCompeteThread() = default;

bool TCompeteThread::Start(std::unique_ptr<TCompeteThread> thread) {
  TCompeteThread* self = thread.get();
  platform::Thread t([self] {
    std::unique_ptr<TCompeteThread> owned(self);
    owned->Execute();
  });
  if (!t.Resume()) return false;  // `thread` still owns it and frees it
  thread.release();
  return true;
}

void TCompeteThread::ThreadLog(std::u16string_view msg) {
  try {
    const auto t = platform::Now();
    char when[32];
    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    platform::OutputDebug(Format(u"TID:%-6d %s %s", {platform::CurrentThreadId(), AsciiToU16(when), msg}));
  } catch (...) {
  }
}

void TCompeteThread::Execute() {
  // The thread's top: nothing may escape it.
  try {
    const auto t0 = FClock();
    bool ok = false;
    try {
      ok = Work();
    } catch (...) {
      ok = false;
    }
    if (ok) {
      const auto elapsed =
          std::chrono::duration_cast<std::chrono::milliseconds>(FClock() - t0).count();
      const bool inBudget = elapsed <= FTimeout;
      const int outcome = group_->Decide(inBudget, [this] {
        if (OnCompete) OnCompete(this, PCompeteContext);
      });
      ThreadLog(Format(u"WaitForSingleObject:%d", {outcome}));
    }
  } catch (...) {
  }
  done_->Set();
}

}  // namespace zqe
