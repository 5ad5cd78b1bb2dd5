// Worker threads that compete for one win event: the first whose work
// succeeds within its time budget, while the event is unset, delivers its
// result through a callback and sets the event.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/Platform.h"

namespace zqe {

class TCompeteThread;

// Where a check reads the time that decides "within the budget" and the
// elapsed figures of the record. A plain function, so that a thread reads
// it for the price of a call, and a test can make an engine take 3001 ms
// at once; the real waits do not follow it.
using TCheckClock = std::chrono::steady_clock::time_point (*)();

// The steady clock as a TCheckClock: the one every host gets.
std::chrono::steady_clock::time_point SteadyClockNow();

using TOnCompete = void (*)(TCompeteThread* Sender, void* lpContext);

// Shared by a request and all its compete threads, so that whatever a late
// thread touches stays valid after the request has returned.
class TCompeteGroup {
 public:
  TCompeteGroup() : winEvent_(true, false) {}

  platform::Event& WinEvent() { return winEvent_; }

  // The request calls this when it stops waiting: from then on no thread
  // may deliver, so nothing writes into the caller's memory any more.
  void Close() {
    std::lock_guard<std::mutex> lock(decide_);
    closed_ = true;
  }

  // The atomic decision of one thread whose work succeeded: 0 when the
  // event is already set, -1 when the group is closed, 258 when unset; with
  // 258 and inBudget, deliver() runs and the event is set, all under the
  // lock, so exactly one thread wins.
  template <typename Deliver>
  int Decide(bool inBudget, Deliver deliver) {
    std::lock_guard<std::mutex> lock(decide_);
    if (closed_) return platform::kWaitFailed;
    const int outcome = platform::WaitForOne(winEvent_, 0);
    if (outcome == platform::kWaitTimeout && inBudget) {
      deliver();
      winEvent_.Set();
    }
    return outcome;
  }

 private:
  platform::Event winEvent_;
  std::mutex decide_;
  bool closed_ = false;  // guarded by decide_
};

class TCompeteThread {
 public:
  // `clock` times the work against `timeout` (milliseconds).
  TCompeteThread(std::shared_ptr<TCompeteGroup> group, int32_t timeout, TCheckClock clock = &SteadyClockNow);
  virtual ~TCompeteThread();
  TCompeteThread(const TCompeteThread&) = delete;
  TCompeteThread& operator=(const TCompeteThread&) = delete;

  // Set by the creator before Start.
  TOnCompete OnCompete = nullptr;
  void* PCompeteContext = nullptr;

  // Signalled when the thread has ended (delivered or not); stays valid
  // for whoever holds it after the thread has freed itself.
  std::shared_ptr<platform::Event> Handle() const { return done_; }

  // The clock that times the work.
  TCheckClock CheckClock() const { return FClock; }

  // Runs the thread; it owns and frees itself from then on. False (and the
  // object destroyed) when the system could not start a thread.
  static bool Start(std::unique_ptr<TCompeteThread> thread);

  // "TID:%-6d %s %s" with thread id, local time and msg, to the debugger
  // output only.
  static void ThreadLog(std::u16string_view msg);

 protected:
  virtual bool Work() = 0;

 private:
  void Execute();

  std::shared_ptr<TCompeteGroup> group_;
  int32_t FTimeout;
  TCheckClock FClock;
  std::shared_ptr<platform::Event> done_;
};

}  // namespace zqe
