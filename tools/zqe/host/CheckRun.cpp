#include "host/CheckRun.h"

#include <chrono>
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

  void Show(size_t done, size_t hits, bool final) {
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
      std::snprintf(buf, sizeof buf, "\r\x1b[K[%s] %zu/%zu sentences  %zu hits  %.1f/s  %s left", bar.c_str(), done,
                    total_, hits, rate, Duration(left).c_str());
      std::fputs(buf, stderr);
      if (final) std::fputs("\n", stderr);
      std::fflush(stderr);
      return;
    }
    // Plain lines for logs and pipes: every tenth of the way, and at the end.
    const size_t step = done * 10 / total_;
    if (!final && step == lastStep_) return;
    lastStep_ = step;
    std::snprintf(buf, sizeof buf, "progress: %zu/%zu sentences, %zu hits, %.1f/s, %s left\n", done, total_, hits,
                  rate, Duration(left).c_str());
    std::fputs(buf, stderr);
    std::fflush(stderr);
  }

 private:
  bool enabled_, tty_;
  size_t total_;
  size_t lastStep_ = 0;
  Clock::time_point start_ = Clock::now();
};

}  // namespace

void ApplyCheckResult(bool found, const TZQECheckResult& r, uint32_t lastError, bool cancelled, SentenceResult& out) {
  out.totalMs = r.TotalMSecs;
  if (found) {
    out.verdict = Verdict::kCopied;
    out.errorCode = r.ErrorCode;
    out.engine = U16ToUtf8(Field(r.SEName, 128, 127));
    out.url = Field(r.CheckUrl, 4098, r.CheckUrlLen);
    out.displayUrl = Field(r.CheckShortURL, 4098, r.CheckShortURLLen);
    out.snippet = Field(r.CheckRemark, 4098, r.CheckRemarkLen);
    out.matchMs = r.MatchMSecs;
    if (!out.snippet.empty()) out.exact = out.snippet.find(out.sentence.text) != std::u16string::npos;
    return;
  }
  if (r.TotalMSecs == -1) {
    out.verdict = Verdict::kError;
    out.lastError = lastError;
    out.totalMs = 0;
    return;
  }
  out.errorCode = r.ErrorCode;
  if (r.SEName[0] != 0) out.engine = U16ToUtf8(Field(r.SEName, 128, 127));
  // After a cancel, "not found" may only mean "stopped looking".
  if (cancelled || r.ErrorCode == 254) out.verdict = Verdict::kUnchecked;
  else if (r.ErrorCode == 1 || r.ErrorCode == 255) out.verdict = Verdict::kOriginal;
  else out.verdict = Verdict::kError;
}

CheckRun::CheckRun(const EngineHost& host, RunSettings settings) : host_(host), settings_(std::move(settings)) {
  for (size_t i : settings_.engines) selected_.push_back(host_.Definitions()[i]);
  if (settings_.threads < 1) settings_.threads = 1;
}

void CheckRun::Cancel() {
  if (cancelled_.exchange(true)) return;
  host_.CancelAll();
}

void CheckRun::Run(Report& report) {
  std::vector<SentenceResult*> work;
  for (auto& doc : report.documents)
    for (auto& s : doc.sentences) work.push_back(&s);

  TZQECheckParams params{};
  params.SEDefs = selected_.data();
  params.SECount = static_cast<int32_t>(selected_.size());
  params.StrictMatch = settings_.strict ? 1 : 0;

  std::atomic<size_t> next{0}, done{0}, hits{0}, running{0};
  std::atomic<int64_t> libraryUs{0};
  const auto start = Clock::now();
  auto worker = [&] {
    // 25 KB: too large for comfort on a thread's stack.
    auto result = std::make_unique<TZQECheckResult>();
    for (;;) {
      if (cancelled_.load()) break;
      const size_t i = next.fetch_add(1);
      if (i >= work.size()) break;
      SentenceResult& s = *work[i];
      uint32_t lastError = 0;
      const auto t0 = Clock::now();
      const bool found =
          host_.Check(s.sentence.text, settings_.filter, params, static_cast<int32_t>(i), *result, lastError);
      libraryUs += std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0).count();
      ApplyCheckResult(found, *result, lastError, cancelled_.load(), s);
      if (found) ++hits;
      ++done;
    }
    --running;
  };

  Progress progress(settings_.progress, work.size());
  std::vector<std::thread> threads;
  const size_t n = std::min<size_t>(static_cast<size_t>(settings_.threads), std::max<size_t>(work.size(), 1));
  running = n;
  for (size_t k = 0; k < n; ++k) threads.emplace_back(worker);
  while (running.load() > 0) {
    progress.Show(done.load(), hits.load(), false);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  for (auto& t : threads) t.join();
  progress.Show(done.load(), hits.load(), true);

  report.interrupted = cancelled_.load();
  report.elapsedMs = MsSince(start);
  report.libraryMs = libraryUs.load() / 1000;
  report.threads = settings_.threads;
}

}  // namespace zqe::cli
