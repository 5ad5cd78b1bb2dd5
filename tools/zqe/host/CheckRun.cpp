#include "host/CheckRun.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/HostSupport.h"
#include "platform/Text.h"

namespace zqe::cli {

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// A text field of the result record: the stated length, but never past the
// field nor past its first zero.
std::u16string Field(const ZQEChar* text, size_t capacity, int32_t len) {
  size_t n = len < 0 ? 0 : static_cast<size_t>(len);
  if (n > capacity - 1) n = capacity - 1;
  size_t z = 0;
  while (z < n && text[z] != 0) ++z;
  return std::u16string(text, z);
}

std::string Duration(double seconds) {
  if (seconds < 0) return "--:--";
  const long s = static_cast<long>(seconds + 0.5);
  char buf[32];
  if (s >= 3600) std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else std::snprintf(buf, sizeof buf, "%02ld:%02ld", s / 60, s % 60);
  return buf;
}

class Progress {
 public:
  Progress(bool enabled, size_t total)
      : enabled_(enabled && total > 0), tty_(platform::IsTerminal(platform::StdStream::kError)), total_(total) {}

  void Show(size_t done, size_t hits, size_t unchecked, bool final) {
    if (!enabled_) return;
    const double secs = static_cast<double>(MsSince(start_)) / 1000.0;
    const double rate = secs > 0 ? static_cast<double>(done) / secs : 0;
    const double left = rate > 0 ? static_cast<double>(total_ - done) / rate : -1;
    char buf[256];
    if (tty_) {
      constexpr int kWidth = 28;
      const int filled = static_cast<int>(kWidth * done / total_);
      std::string bar(static_cast<size_t>(filled), '#');
      bar.append(static_cast<size_t>(kWidth - filled), '-');
      std::snprintf(buf, sizeof buf, "\r\x1b[K[%s] %zu/%zu sentences  %zu hits  %zu not checked  %.1f/s  %s left",
                    bar.c_str(), done, total_, hits, unchecked, rate, Duration(left).c_str());
      std::fputs(buf, stderr);
      if (final) std::fputs("\n", stderr);
      std::fflush(stderr);
      return;
    }
    // Plain lines for logs and pipes: every tenth of the way, and at the end.
    const size_t step = done * 10 / total_;
    if (!final && step == lastStep_) return;
    lastStep_ = step;
    std::snprintf(buf, sizeof buf, "progress: %zu/%zu sentences, %zu hits, %zu not checked, %.1f/s, %s left\n", done,
                  total_, hits, unchecked, rate, Duration(left).c_str());
    std::fputs(buf, stderr);
    std::fflush(stderr);
  }

 private:
  bool enabled_, tty_;
  size_t total_;
  size_t lastStep_ = 0;
  Clock::time_point start_ = Clock::now();
};

// Makes one host thread's library calls, so that the host thread can stop
// waiting when a sentence's budget runs out while the call goes on.
class EngineCaller {
 public:
  explicit EngineCaller(const EngineHost& host) : host_(host), result_(std::make_unique<TZQECheckResult>()) {
    thread_ = std::thread([this] { Loop(); });
  }
  ~EngineCaller() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  EngineCaller(const EngineCaller&) = delete;
  EngineCaller& operator=(const EngineCaller&) = delete;

  // REQUIRES: the previous call has returned.
  void Start(const std::u16string& text, const std::u16string& filter, const TZQECheckParams& params,
             int32_t userData) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      text_ = text;
      filter_ = filter;
      params_ = params;
      userData_ = userData;
      busy_ = true;
    }
    cv_.notify_all();
  }

  // Whether the call has returned by `deadline`.
  bool WaitUntil(Clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_until(lock, deadline, [this] { return !busy_; });
  }
  void WaitIdle() {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return !busy_; });
  }

  // The last call's outcome: read only after a wait saw it return and
  // before the next Start.
  bool Found() const { return found_; }
  uint32_t LastError() const { return lastError_; }
  const TZQECheckResult& Result() const { return *result_; }
  int64_t CallUs() const { return callUs_; }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      cv_.wait(lock, [this] { return quit_ || (busy_ && !running_); });
      if (!busy_) return;
      running_ = true;
      lock.unlock();
      uint32_t lastError = 0;
      const auto t0 = Clock::now();
      const bool found = host_.Check(text_, filter_, params_, userData_, *result_, lastError);
      const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0).count();
      lock.lock();
      found_ = found;
      lastError_ = lastError;
      callUs_ = us;
      running_ = busy_ = false;
      cv_.notify_all();
    }
  }

  const EngineHost& host_;
  std::mutex mutex_;
  std::condition_variable cv_;
  // Guarded by mutex_.
  bool busy_ = false;     // a call was handed over and has not returned
  bool running_ = false;  // the calling thread has taken it
  bool quit_ = false;
  // Written by Start while idle and read by the calling thread while busy;
  // the outcome the other way round. The hand-over through mutex_ orders
  // both.
  std::u16string text_, filter_;
  TZQECheckParams params_{};
  int32_t userData_ = 0;
  std::unique_ptr<TZQECheckResult> result_;  // 25 KB: too large for a stack
  bool found_ = false;
  uint32_t lastError_ = 0;
  int64_t callUs_ = 0;
  std::thread thread_;
};

}  // namespace

EngineAnswer ReadAnswer(bool found, const TZQECheckResult& r, uint32_t lastError, bool cancelled) {
  if (found) return {Outcome::kHit, r.ErrorCode, 0};
  if (r.TotalMSecs == -1) return {Outcome::kFetchError, -1, lastError};
  const int code = r.ErrorCode;
  constexpr auto byte = [](int c) { return static_cast<int>(static_cast<uint8_t>(c)); };
  if (cancelled || code == byte(ZQE_SE_ABORTED)) return {Outcome::kCancelled, code, 0};
  if (code == byte(ZQE_SE_NO_HIT)) return {Outcome::kNoHit, code, 0};
  if (code == byte(ZQE_SE_VERIFY_PAGE)) return {Outcome::kBlocked, code, 0};
  if (code == byte(ZQE_SE_PAGE_UNKNOWN)) return {Outcome::kNotRecognised, code, 0};
  return {Outcome::kFetchError, code, 0};
}

void TakeFindings(const TZQECheckResult& r, SentenceResult& out) {
  out.engine = U16ToUtf8(Field(r.SEName, 128, 127));
  out.url = Field(r.CheckUrl, 4098, r.CheckUrlLen);
  out.displayUrl = Field(r.CheckShortURL, 4098, r.CheckShortURLLen);
  out.snippet = Field(r.CheckRemark, 4098, r.CheckRemarkLen);
  out.matchMs = r.MatchMSecs;
  out.exact.reset();
  if (!out.snippet.empty()) out.exact = out.snippet.find(out.sentence.text) != std::u16string::npos;
}

CheckRun::CheckRun(const EngineHost& host, RunSettings settings) : host_(host), settings_(std::move(settings)) {
  for (size_t i : settings_.engines) selected_.push_back(host_.Definitions()[i]);
  if (settings_.threads < 1) settings_.threads = 1;
  if (settings_.budgetMs < 1) settings_.budgetMs = 1;
}

void CheckRun::Cancel() {
  if (cancelled_.exchange(true)) return;
  host_.CancelAll();
}

void CheckRun::Run(Report& report) {
  std::vector<SentenceResult*> work;
  for (auto& doc : report.documents)
    for (auto& s : doc.sentences) {
      // What a sentence that Ctrl-C keeps from its turn reports.
      s.answers.assign(selected_.size(), EngineAnswer{});
      s.verdict = VerdictOf(s.answers);
      work.push_back(&s);
    }

  TZQECheckParams params{};
  params.SECount = 1;
  params.StrictMatch = settings_.strict ? 1 : 0;
  const auto budget = std::chrono::milliseconds(settings_.budgetMs);

  std::atomic<size_t> next{0}, done{0}, hits{0}, unchecked{0}, running{0};
  std::atomic<int64_t> libraryUs{0};

  auto checkSentence = [&](EngineCaller& caller, SentenceResult& s, int32_t userData) {
    const size_t n = selected_.size();
    const auto start = Clock::now();
    const auto deadline = start + budget;
    bool haveHit = false;
    size_t k = 0;
    for (; k < n; ++k) {
      if (cancelled_.load() || Clock::now() >= deadline) break;
      TZQECheckParams p = params;
      p.SEDefs = &selected_[k];
      caller.Start(s.sentence.text, settings_.filter, p, userData);
      if (!caller.WaitUntil(deadline)) {
        s.answers[k] = EngineAnswer{Outcome::kTimedOut};
        ++k;
        s.totalMs = MsSince(start);
        caller.WaitIdle();  // its answer comes too late to count
        libraryUs += caller.CallUs();
        break;
      }
      libraryUs += caller.CallUs();
      s.answers[k] = ReadAnswer(caller.Found(), caller.Result(), caller.LastError(), cancelled_.load());
      if (!haveHit && s.answers[k].outcome == Outcome::kHit) {
        TakeFindings(caller.Result(), s);
        haveHit = true;
      }
      s.totalMs = MsSince(start);
    }
    // Not asked: the budget was spent, or Ctrl-C came first.
    for (; k < n; ++k) s.answers[k] = EngineAnswer{cancelled_.load() ? Outcome::kCancelled : Outcome::kTimedOut};
    s.verdict = VerdictOf(s.answers);
  };

  // Made here, not on the host threads: a thread that cannot be started
  // fails the run instead of ending the process.
  const size_t nThreads = std::min<size_t>(static_cast<size_t>(settings_.threads), std::max<size_t>(work.size(), 1));
  std::vector<std::unique_ptr<EngineCaller>> callers;
  for (size_t k = 0; k < nThreads; ++k) callers.push_back(std::make_unique<EngineCaller>(host_));

  const auto start = Clock::now();
  auto worker = [&](EngineCaller& caller) {
    for (;;) {
      if (cancelled_.load()) break;
      const size_t i = next.fetch_add(1);
      if (i >= work.size()) break;
      SentenceResult& s = *work[i];
      checkSentence(caller, s, static_cast<int32_t>(i));
      if (s.verdict == Verdict::kCopied) ++hits;
      if (s.verdict == Verdict::kNotChecked) ++unchecked;
      ++done;
    }
    --running;
  };

  Progress progress(settings_.progress, work.size());
  std::vector<std::thread> threads;
  running = nThreads;
  for (auto& c : callers) threads.emplace_back(worker, std::ref(*c));
  while (running.load() > 0) {
    progress.Show(done.load(), hits.load(), unchecked.load(), false);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  for (auto& t : threads) t.join();
  callers.clear();
  progress.Show(done.load(), hits.load(), unchecked.load(), true);

  report.interrupted = cancelled_.load();
  report.elapsedMs = MsSince(start);
  report.libraryMs = libraryUs.load() / 1000;
  report.threads = settings_.threads;
  report.budgetMs = settings_.budgetMs;
}

}  // namespace zqe::cli
