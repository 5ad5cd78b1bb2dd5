#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/HostSupport.h"

extern char** environ;

namespace zqe::platform {

// ---- interrupts ------------------------------------------------------------

namespace {

// A signal handler may only do async-signal-safe work, so it writes one
// byte into a pipe and a watcher thread runs the host's handler.
int gInterruptPipe[2] = {-1, -1};
std::mutex gInterruptMutex;
std::function<void()> gInterruptHandler;  // guarded by gInterruptMutex

extern "C" void OnSigInt(int) {
  const int saved = errno;
  const char b = 1;
  [[maybe_unused]] ssize_t n = write(gInterruptPipe[1], &b, 1);
  errno = saved;
}

void WatchInterrupts() {
  for (;;) {
    char b;
    const ssize_t n = read(gInterruptPipe[0], &b, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    std::function<void()> h;
    {
      std::lock_guard<std::mutex> lock(gInterruptMutex);
      h = gInterruptHandler;
    }
    // A thread per interrupt, as Windows does it: a handler still busy
    // with the first Ctrl-C must not keep the second from being seen.
    if (h) std::thread(std::move(h)).detach();
  }
}

}  // namespace

void SetInterruptHandler(std::function<void()> handler) {
  std::lock_guard<std::mutex> lock(gInterruptMutex);
  const bool install = static_cast<bool>(handler);
  gInterruptHandler = std::move(handler);
  if (install && gInterruptPipe[0] < 0) {
    if (pipe(gInterruptPipe) != 0) return;
    fcntl(gInterruptPipe[0], F_SETFD, FD_CLOEXEC);
    fcntl(gInterruptPipe[1], F_SETFD, FD_CLOEXEC);
    std::thread(WatchInterrupts).detach();
  }
  struct sigaction sa {};
  sigemptyset(&sa.sa_mask);
  sa.sa_handler = install ? OnSigInt : SIG_DFL;
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
}

bool IsTerminal(StdStream stream) { return isatty(stream == StdStream::kOutput ? 1 : 2) == 1; }

void UseUtf8Console() {}

bool ReadStandardInput(std::string& bytes) {
  bytes.clear();
  char buf[65536];
  for (;;) {
    const ssize_t n = read(0, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    bytes.append(buf, static_cast<size_t>(n));
  }
}

// ---- GB18030 ---------------------------------------------------------------

bool DecodeGb18030(std::string_view bytes, std::u16string& out) {
  out.clear();
  iconv_t cd = iconv_open("UTF-16LE", "GB18030");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string buf(bytes.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* o = buf.data();
  size_t outLeft = buf.size();
  // Four output bytes per input byte is more than GB18030 ever needs
  // (a four-byte sequence yields at most a surrogate pair), so E2BIG cannot
  // happen; any other error is invalid or truncated input.
  const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1) || inLeft != 0) return false;
  const size_t produced = buf.size() - outLeft;
  out.resize(produced / 2);
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(buf[2 * i]) |
                                   (static_cast<unsigned char>(buf[2 * i + 1]) << 8));
  return true;
}

// ---- child processes -------------------------------------------------------

struct ChildProcess::Impl {
  pid_t pid = -1;
  int fd = -1;
  std::string pending;
};

ChildProcess::ChildProcess(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ChildProcess::~ChildProcess() {
  Kill();
  if (impl_->fd >= 0) close(impl_->fd);
}

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv, std::string& error,
                                                  bool mergeStderr) {
  if (argv.empty()) {
    error = "no program to start";
    return nullptr;
  }
  int fds[2];
  if (pipe(fds) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return nullptr;
  }
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  if (mergeStderr) posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    error = "cannot start " + argv[0] + ": " + std::strerror(rc);
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  impl->pid = pid;
  impl->fd = fds[0];
  return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(impl)));
}

bool ChildProcess::ReadLine(std::string& line, uint32_t timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto nl = impl_->pending.find('\n');
    if (nl != std::string::npos) {
      line = impl_->pending.substr(0, nl);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      impl_->pending.erase(0, nl + 1);
      return true;
    }
    if (impl_->fd < 0) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    pollfd p{impl_->fd, POLLIN, 0};
    const int r = poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    char buf[4096];
    const ssize_t n = read(impl_->fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(impl_->fd);
      impl_->fd = -1;
      continue;
    }
    impl_->pending.append(buf, static_cast<size_t>(n));
  }
}

int ChildProcess::Wait() {
  if (impl_->pid <= 0) return -1;
  int status = 0;
  pid_t r;
  while ((r = waitpid(impl_->pid, &status, 0)) < 0 && errno == EINTR) {
  }
  impl_->pid = -1;
  if (r < 0 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

void ChildProcess::Kill() {
  if (impl_->pid <= 0) return;
  kill(impl_->pid, SIGTERM);
  // A child that ignores the polite request gets two seconds, then SIGKILL.
  int status = 0;
  for (int i = 0; i < 200; ++i) {
    const pid_t r = waitpid(impl_->pid, &status, WNOHANG);
    if (r == impl_->pid || (r < 0 && errno != EINTR)) {
      impl_->pid = -1;
      return;
    }
    usleep(10000);
  }
  kill(impl_->pid, SIGKILL);
  while (waitpid(impl_->pid, &status, 0) < 0 && errno == EINTR) {
  }
  impl_->pid = -1;
}

// ---- resources -------------------------------------------------------------

namespace {
uint32_t CountEntries(const char* dir) {
  DIR* d = opendir(dir);
  if (!d) return 0;
  uint32_t n = 0;
  while (const dirent* e = readdir(d))
    if (e->d_name[0] != '.') ++n;
  closedir(d);
  return n;
}
}  // namespace

ProcessResources ProcessResourceCounts() {
  ProcessResources r;
  r.threads = CountEntries("/proc/self/task");
  // The directory stream holds one descriptor while the listing runs.
  const uint32_t fds = CountEntries("/proc/self/fd");
  r.handles = fds > 0 ? fds - 1 : 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    unsigned long size = 0, resident = 0;
    if (std::fscanf(f, "%lu %lu", &size, &resident) == 2)
      r.residentBytes = static_cast<uint64_t>(resident) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    std::fclose(f);
  }
  return r;
}

}  // namespace zqe::platform
