#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/LazyGlobal.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace zqe::platform {

// ---- process, threads, errors -------------------------------------------

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }
uint32_t CurrentThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

namespace {
thread_local uint32_t tLastError = 0;
}
void SetLastError(uint32_t code) { tLastError = code; }
uint32_t GetLastError() { return tLastError; }

uint32_t TickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

LocalTime Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm t{};
  localtime_r(&ts.tv_sec, &t);
  return LocalTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                   static_cast<int>(ts.tv_nsec / 1000000)};
}

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// ---- debug output --------------------------------------------------------

void SystemDebugOutput(std::u16string_view text) {
  static const bool toStderr = [] {
    const char* v = std::getenv("ZQE_DEBUG_OUTPUT");
    return v && std::string_view(v) == "stderr";
  }();
  if (!toStderr) return;
  std::string line = U16ToUtf8(text);
  line.push_back('\n');
  (void)!write(STDERR_FILENO, line.data(), line.size());
}

// ---- paths and files -----------------------------------------------------

namespace {
std::string Native(std::u16string_view path) { return U16ToUtf8(path); }
}  // namespace

std::u16string HostProgramPath() {
  std::string buf(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  buf.resize(static_cast<size_t>(n));
  return Utf8ToU16(buf);
}

std::u16string ModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ModulePath), &info) == 0 || !info.dli_fname) return HostProgramPath();
  std::string name = info.dli_fname;
  if (name.empty() || name[0] != '/') {
    // A library found without a directory, or the program itself.
    char resolved[PATH_MAX];
    if (realpath(name.c_str(), resolved)) name = resolved;
  }
  return Utf8ToU16(name);
}

bool FileExists(std::u16string_view path) {
  struct stat st {};
  return !path.empty() && stat(Native(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(std::u16string_view path) {
  struct stat st {};
  return !path.empty() && stat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(std::u16string_view path) {
  std::string p = Native(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.empty()) return false;
  // Create each missing prefix in turn, shortest first; iterative so a
  // path of any depth is fine.
  for (size_t i = 1; i <= p.size(); ++i) {
    if (i == p.size() || p[i] == '/') {
      const std::string prefix = p.substr(0, i);
      if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
        // Fall through: the final test decides.
      }
    }
  }
  return DirectoryExists(path);
}

uint32_t AppendToFile(std::u16string_view path, std::string_view bytes) {
  const int fd = open(Native(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return static_cast<uint32_t>(errno);
  uint32_t err = 0;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = static_cast<uint32_t>(errno);
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (close(fd) != 0 && err == 0) err = static_cast<uint32_t>(errno);
  return err;
}

bool WriteNewFile(std::u16string_view path, std::string_view bytes) {
  const int fd = open(Native(path).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // Exclusive writing, as a Windows share mode of none would give.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, 0) != 0) {
    close(fd);
    return false;
  }
  bool ok = true;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (close(fd) != 0) ok = false;
  return ok;
}

bool ReadWholeFile(std::u16string_view path, std::string& bytes) {
  FILE* f = std::fopen(Native(path).c_str(), "rb");
  if (!f) return false;
  bytes.clear();
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

std::string ToLogFileEncoding(std::u16string_view text) { return U16ToUtf8(text); }

// ---- locks ---------------------------------------------------------------

struct Mutex::Impl {
  std::recursive_mutex m;
};
Mutex::Mutex() : impl_(std::make_unique<Impl>()) {}
Mutex::~Mutex() = default;
void Mutex::lock() { impl_->m.lock(); }
bool Mutex::try_lock() { return impl_->m.try_lock(); }
void Mutex::unlock() { impl_->m.unlock(); }

// ---- events and waits ----------------------------------------------------

// All events share one lock and one condition: waits on several events at
// once (any or all) then need no per-event waiter lists, and events are few.
// Both live for the whole process (never destroyed): threads that nobody
// joins may still set events while the process exits.
namespace {
struct EventShared {
  std::mutex lock;
  std::condition_variable cond;
};
constinit LazyGlobal<EventShared> gEvents;
std::mutex& EventLock() { return gEvents.Get().lock; }
std::condition_variable& EventCond() { return gEvents.Get().cond; }
}  // namespace

// A Windows manual-reset event releases every thread already waiting when
// it is set, even if it is reset again before they run. A condition
// variable only wakes them: a waiter that then looks at `signalled` after
// the Reset would sleep on. So a waiter also counts as released when the
// event's set count moved since its wait began.
struct Event::Impl {
  bool manualReset;
  bool signalled;    // guarded by EventLock()
  uint64_t sets = 0;  // guarded by EventLock(); Set calls so far
};

Event::Event(bool manualReset, bool initialState) : impl_(std::make_unique<Impl>(Impl{manualReset, initialState})) {}
Event::~Event() = default;

void Event::Set() {
  {
    std::lock_guard<std::mutex> lock(EventLock());
    impl_->signalled = true;
    ++impl_->sets;
  }
  EventCond().notify_all();
}

void Event::Reset() {
  std::lock_guard<std::mutex> lock(EventLock());
  impl_->signalled = false;
}

namespace {
template <typename Ready>
int WaitUntil(uint32_t timeoutMs, Ready ready) {
  std::unique_lock<std::mutex> lock(EventLock());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const int r = ready();
    if (r >= 0) return r;
    if (timeoutMs == kInfinite) {
      EventCond().wait(lock);
    } else if (EventCond().wait_until(lock, deadline) == std::cv_status::timeout) {
      const int last = ready();
      return last >= 0 ? last : kWaitTimeout;
    }
  }
}
}  // namespace

int WaitForOne(Event& e, uint32_t timeoutMs) {
  Event* one[] = {&e};
  return WaitForAny(one, timeoutMs);
}

namespace {
// Set counts of the events when a wait begins; read under EventLock().
std::vector<uint64_t> SetCounts(std::span<Event* const> events) {
  std::lock_guard<std::mutex> lock(EventLock());
  std::vector<uint64_t> sets;
  sets.reserve(events.size());
  for (auto* e : events) sets.push_back(e->impl()->sets);
  return sets;
}

// Signalled, or a manual-reset event set (and maybe reset) since the wait began.
bool Released(const Event::Impl& impl, uint64_t setsAtStart) {
  return impl.signalled || (impl.manualReset && impl.sets != setsAtStart);
}
}  // namespace

int WaitForAny(std::span<Event* const> events, uint32_t timeoutMs) {
  if (events.empty()) return kWaitFailed;
  for (auto* e : events)
    if (!e) return kWaitFailed;
  const std::vector<uint64_t> start = SetCounts(events);
  return WaitUntil(timeoutMs, [&]() -> int {
    for (size_t i = 0; i < events.size(); ++i) {
      auto* impl = events[i]->impl();
      if (Released(*impl, start[i])) {
        if (!impl->manualReset) impl->signalled = false;
        return static_cast<int>(i);
      }
    }
    return -1;
  });
}

int WaitForAll(std::span<Event* const> events, uint32_t timeoutMs) {
  if (events.empty()) return kWaitFailed;
  for (auto* e : events)
    if (!e) return kWaitFailed;
  const std::vector<uint64_t> start = SetCounts(events);
  return WaitUntil(timeoutMs, [&]() -> int {
    for (size_t i = 0; i < events.size(); ++i)
      if (!Released(*events[i]->impl(), start[i])) return -1;
    for (auto* e : events)
      if (!e->impl()->manualReset) e->impl()->signalled = false;
    return 0;
  });
}

// ---- threads -------------------------------------------------------------

struct Thread::Impl {
  std::function<void()> body;
  size_t stackSize = 0;
  bool started = false;
};

namespace {
// Every thread the module started, so that its unload can wait until none
// runs its code any more. Threads are created joinable: a thread that ends
// records itself in `ended`, and whoever next starts a thread or waits for
// them all joins it, so none is left behind unjoined.
struct ThreadRegistry {
  std::mutex m;
  std::condition_variable idle;
  size_t running = 0;            // guarded by m
  std::vector<pthread_t> ended;  // guarded by m
};

constinit LazyGlobal<ThreadRegistry> gThreads;
ThreadRegistry& Threads() { return gThreads.Get(); }

void JoinEnded() {
  ThreadRegistry* r = gThreads.Peek();
  if (!r) return;
  std::vector<pthread_t> ended;
  {
    std::lock_guard<std::mutex> lock(r->m);
    ended.swap(r->ended);
  }
  for (pthread_t t : ended) pthread_join(t, nullptr);
}

// Set by the shared library's start code: its unload joins the threads.
std::atomic<bool> gInSharedLibrary{false};

// A program that exits without waiting for our threads still joins the
// ones that have ended, so that none is left behind unjoined. Not in the
// shared library: a handler there could outlive its code (sanitizers
// register exit handlers process-wide), and its unload waits anyway.
void JoinEndedAtExit() {
  if (gInSharedLibrary.load()) return;
  static std::once_flag once;
  std::call_once(once, [] { std::atexit(&JoinEnded); });
}

void* ThreadMain(void* arg) {
  {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
    try {
      (*body)();
    } catch (...) {
    }
  }
  ThreadRegistry& r = Threads();
  std::lock_guard<std::mutex> lock(r.m);
  --r.running;
  r.ended.push_back(pthread_self());
  r.idle.notify_all();
  return nullptr;
}
}  // namespace

Thread::Thread(std::function<void()> body, size_t stackSize) : impl_(std::make_unique<Impl>()) {
  impl_->body = std::move(body);
  impl_->stackSize = stackSize;
}
Thread::~Thread() = default;

bool Thread::Resume() {
  if (impl_->started || !impl_->body) return false;
  JoinEndedAtExit();
  JoinEnded();
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  bool ok = impl_->stackSize == 0 || pthread_attr_setstacksize(&attr, impl_->stackSize) == 0;
  auto* arg = new std::function<void()>(std::move(impl_->body));
  ThreadRegistry& r = Threads();
  if (ok) {
    std::lock_guard<std::mutex> lock(r.m);
    pthread_t id;
    ok = pthread_create(&id, &attr, &ThreadMain, arg) == 0;
    if (ok) ++r.running;
  }
  pthread_attr_destroy(&attr);
  if (!ok) {
    impl_->body = std::move(*arg);
    delete arg;
    return false;
  }
  impl_->started = true;
  return true;
}

void MarkSharedLibrary() { gInSharedLibrary.store(true); }

size_t RunningThreads() {
  std::lock_guard<std::mutex> lock(Threads().m);
  return Threads().running;
}

bool WaitForThreads(uint32_t timeoutMs) {
  ThreadRegistry& r = Threads();
  {
    std::unique_lock<std::mutex> lock(r.m);
    auto none = [&] { return r.running == 0; };
    if (timeoutMs == kInfinite) {
      r.idle.wait(lock, none);
    } else if (!r.idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), none)) {
      return false;
    }
  }
  JoinEnded();
  return true;
}

void ReleaseSystemState() {
  JoinEnded();
  gThreads.Release();
  gEvents.Release();
}

// ---- dynamic libraries ---------------------------------------------------

std::unique_ptr<DynamicLibrary> DynamicLibrary::Load(std::u16string_view path, std::string& error) {
  void* h = dlopen(U16ToUtf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* e = dlerror();
    error = e ? e : "dlopen failed";
    return nullptr;
  }
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(h));
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_) dlclose(handle_);
}

void* DynamicLibrary::Symbol(const char* name) const { return dlsym(handle_, name); }

}  // namespace zqe::platform
