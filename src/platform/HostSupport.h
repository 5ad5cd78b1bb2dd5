// What a command-line host (the zqe tool) needs from the operating system
// beyond what the engine uses: interrupts, terminals, legacy code pages and
// child processes. Kept apart from Platform.h so that the library never
// links any of it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zqe::platform {

// Runs a copy of `handler` for every Ctrl-C (SIGINT / console control
// event), each on a thread of its own and never inside a signal handler,
// so it may take locks and call into the engine. A call may still be
// running after the handler was replaced: let it hold what it uses.
// An empty handler restores the default action.
void SetInterruptHandler(std::function<void()> handler);

enum class StdStream { kOutput, kError };
bool IsTerminal(StdStream stream);

// Makes the console show UTF-8 output as text (Windows console code page);
// nothing to do elsewhere.
void UseUtf8Console();

// All of standard input as raw bytes (Windows reads it in text mode
// unless told otherwise, which would mangle UTF-16). False on a read error.
bool ReadStandardInput(std::string& bytes);

// Strict GB18030 (and so GBK, its subset) to UTF-16; false at the first
// byte sequence that is not valid GB18030.
bool DecodeGb18030(std::string_view bytes, std::u16string& out);

// A child process whose standard output the parent reads line by line; it
// is killed when the object goes away.
class ChildProcess {
 public:
  // argv[0] is the program's path. The child's standard error goes where
  // the parent's does, or into the same pipe as its output. Null with a
  // readable error on failure.
  static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv, std::string& error,
                                             bool mergeStderr = false);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // One line of the child's standard output without its line end; false
  // when the child closed it or `timeoutMs` passed first.
  bool ReadLine(std::string& line, uint32_t timeoutMs);
  // Waits for the child to end; its exit code, or -1 when a signal ended it.
  int Wait();
  void Kill();

  struct Impl;

 private:
  explicit ChildProcess(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// What the process holds at this moment, so that a host (or its tests) can
// see that a shut-down gave back what a start took.
struct ProcessResources {
  uint32_t threads = 0;
  uint32_t handles = 0;         // kernel handles (Windows), open descriptors (POSIX)
  uint64_t residentBytes = 0;   // working set (Windows), resident set (POSIX)
};
ProcessResources ProcessResourceCounts();

}  // namespace zqe::platform
