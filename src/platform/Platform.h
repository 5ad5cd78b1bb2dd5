// The platform seam: everything the engine needs from the operating system.
// Two implementations exist, src/platform/win and src/platform/posix, and
// CMake picks one; no other file includes an operating-system header.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zqe::platform {

// ---- process, threads, errors -------------------------------------------

uint32_t CurrentProcessId();
uint32_t CurrentThreadId();

// The calling thread's last-error value (Windows SetLastError/GetLastError;
// a thread-local on POSIX, readable by hosts through ZQEGetLastError).
void SetLastError(uint32_t code);
uint32_t GetLastError();

// Milliseconds since the system started, wrapping at 2^32.
uint32_t TickCount();

struct LocalTime {
  int year, month, day, hour, minute, second, millisecond;
};
LocalTime Now();

// Seeded once per process.
uint32_t Random(uint32_t range);  // 0 <= result < range; 0 for range 0

// ---- debug output --------------------------------------------------------

// Windows: OutputDebugStringW. POSIX: silent unless ZQE_DEBUG_OUTPUT=stderr.
// Tests install a hook to see every message; it is called in addition to
// the system channel and must be thread-safe.
void OutputDebug(std::u16string_view text);
using DebugHook = std::function<void(std::u16string_view)>;
void SetDebugOutputHook(DebugHook hook);

// ---- paths and files -----------------------------------------------------

inline constexpr char16_t kPathDelim =
#if defined(ZQE_PLATFORM_WINDOWS)
    u'\\';
#else
    u'/';
#endif

std::u16string HostProgramPath();  // full path of the running program
std::u16string ModulePath();       // full path of the library holding this code

std::u16string ExtractFileDir(std::u16string_view path);   // without delimiter
std::u16string ExtractFilePath(std::u16string_view path);  // with delimiter
std::u16string ExtractFileName(std::u16string_view path);
std::u16string IncludeTrailingDelim(std::u16string_view path);

bool FileExists(std::u16string_view path);  // a file, not a directory
bool DirectoryExists(std::u16string_view path);
// Creates the directory and every missing parent; true when it exists after.
bool ForceDirectories(std::u16string_view path);

// Appends bytes to the file, creating it; returns 0 or the system's error code.
uint32_t AppendToFile(std::u16string_view path, std::string_view bytes);
// Creates or replaces the file, opened for exclusive writing; false on any failure.
bool WriteNewFile(std::u16string_view path, std::string_view bytes);
// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(std::u16string_view path, std::string& bytes);

// Text for log files: the ANSI code page on Windows (unmappable characters
// become the code page's substitute), UTF-8 on POSIX.
std::string ToLogFileEncoding(std::u16string_view text);

// ---- INI files -----------------------------------------------------------

// The behaviour of GetPrivateProfileStringW: sections and keys compare
// without regard to ASCII case, values lose their surrounding blanks, a
// value is at most 2047 UTF-16 units. Section names come back in file order.
class IniReader {
 public:
  virtual ~IniReader() = default;
  // Throws std::runtime_error when the file cannot be read.
  virtual std::vector<std::u16string> ReadSections() = 0;
  virtual std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                                    std::u16string_view def) = 0;
};
std::unique_ptr<IniReader> OpenIniFile(std::u16string_view path);

// ---- locks ---------------------------------------------------------------

// A process-wide mutual-exclusion lock (recursive on both platforms, as
// the Windows critical section and the runtime's object monitor are).
class Mutex {
 public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  void lock();
  bool try_lock();
  void unlock();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// ---- events and waits ----------------------------------------------------

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr int kWaitTimeout = 258;
inline constexpr int kWaitFailed = -1;

class Event {
 public:
  Event(bool manualReset, bool initialState);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  void Set();
  void Reset();
  struct Impl;
  Impl* impl() const { return impl_.get(); }

 private:
  std::unique_ptr<Impl> impl_;
};

// Like the Windows waits: 0 (or the index of the signalled event when
// waiting for any) when signalled, kWaitTimeout, or kWaitFailed.
// An auto-reset event is reset by the wait that it satisfies.
int WaitForOne(Event& e, uint32_t timeoutMs);
int WaitForAny(std::span<Event* const> events, uint32_t timeoutMs);
int WaitForAll(std::span<Event* const> events, uint32_t timeoutMs);

// ---- threads -------------------------------------------------------------

// A thread created suspended that frees itself when its body returns;
// nobody joins it (WaitForThreads below waits for all of them). Resume starts it (once). Destroying a Thread that was
// never resumed discards it without running the body. stackSize (bytes,
// 0 for the system default) lets callers and tests hold code to a known
// stack, such as the 1 MB Windows default.
class Thread {
 public:
  explicit Thread(std::function<void()> body, size_t stackSize = 0);
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  // False when the system could not start the thread.
  bool Resume();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Threads started through Thread whose body has not returned yet.
size_t RunningThreads();
// Waits until every thread started through Thread has ended and left this
// module's code, so that the module may be unmapped: on POSIX the ended
// threads are joined; on Windows each thread holds a reference to the
// module from its start until it exits (FreeLibraryAndExitThread), so a
// host that unloads too early cannot pull the code from under it. False
// when the time ran out first. Never call it from such a thread.
bool WaitForThreads(uint32_t timeoutMs);

void SleepMs(uint32_t ms);

// Frees the platform's process-wide state (random generator, debug hook,
// event and thread bookkeeping); the next use makes it anew. Only for the
// library's unload, once no thread of the module runs.
void ReleaseProcessState();

// ---- dynamic libraries (hosts and their tests load the engine this way) --

class DynamicLibrary {
 public:
  // LoadLibraryW / dlopen; null with a readable error when it fails.
  static std::unique_ptr<DynamicLibrary> Load(std::u16string_view path, std::string& error);
  ~DynamicLibrary();  // FreeLibrary / dlclose
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  // GetProcAddress / dlsym by exact name; null when absent.
  void* Symbol(const char* name) const;

 private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

}  // namespace zqe::platform
