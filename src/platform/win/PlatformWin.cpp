#include <windows.h>
#include <process.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

#include "platform/LazyGlobal.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace zqe::platform {

namespace {
const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
std::u16string FromW(const wchar_t* s, size_t n) { return std::u16string(reinterpret_cast<const char16_t*>(s), n); }
}  // namespace

// ---- process, threads, errors -------------------------------------------

uint32_t CurrentProcessId() { return ::GetCurrentProcessId(); }
uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }
void SetLastError(uint32_t code) { ::SetLastError(code); }
uint32_t GetLastError() { return ::GetLastError(); }
uint32_t TickCount() { return ::GetTickCount(); }

LocalTime Now() {
  SYSTEMTIME t;
  ::GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

void SleepMs(uint32_t ms) { ::Sleep(ms); }

// ---- debug output --------------------------------------------------------

void SystemDebugOutput(std::u16string_view text) {
  const std::u16string s(text);
  ::OutputDebugStringW(W(s));
}

// ---- paths and files -----------------------------------------------------

namespace {
std::u16string ModuleFileName(HMODULE module) {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(module, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) return FromW(buf.data(), n);
    buf.resize(buf.size() * 2);
  }
}
}  // namespace

std::u16string HostProgramPath() { return ModuleFileName(nullptr); }

std::u16string ModulePath() {
  HMODULE self = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ModulePath), &self))
    return HostProgramPath();
  return ModuleFileName(self);
}

bool FileExists(std::u16string_view path) {
  const std::u16string p(path);
  const DWORD a = ::GetFileAttributesW(W(p));
  return !p.empty() && a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(std::u16string_view path) {
  const std::u16string p(path);
  const DWORD a = ::GetFileAttributesW(W(p));
  return !p.empty() && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(std::u16string_view path) {
  std::u16string p(path);
  while (p.size() > 1 && (p.back() == u'\\' || p.back() == u'/')) p.pop_back();
  if (p.empty()) return false;
  for (size_t i = 1; i <= p.size(); ++i) {
    if (i == p.size() || p[i] == u'\\' || p[i] == u'/') {
      const std::u16string prefix = p.substr(0, i);
      if (prefix.size() == 2 && prefix[1] == u':') continue;  // a drive
      ::CreateDirectoryW(W(prefix), nullptr);
    }
  }
  return DirectoryExists(p);
}

uint32_t AppendToFile(std::u16string_view path, std::string_view bytes) {
  const std::u16string p(path);
  HANDLE h = ::CreateFileW(W(p), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
  uint32_t err = 0;
  DWORD written = 0;
  if (!bytes.empty() && !::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
    err = ::GetLastError();
  if (!::CloseHandle(h) && err == 0) err = ::GetLastError();
  return err;
}

bool WriteNewFile(std::u16string_view path, std::string_view bytes) {
  const std::u16string p(path);
  HANDLE h = ::CreateFileW(W(p), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.empty() || (::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                              written == bytes.size());
  if (!::CloseHandle(h)) ok = false;
  return ok;
}

bool ReadWholeFile(std::u16string_view path, std::string& bytes) {
  const std::u16string p(path);
  HANDLE h = ::CreateFileW(W(p), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bytes.clear();
  char buf[65536];
  DWORD n = 0;
  bool ok = true;
  for (;;) {
    if (!::ReadFile(h, buf, sizeof buf, &n, nullptr)) {
      ok = false;
      break;
    }
    if (n == 0) break;
    bytes.append(buf, n);
  }
  ::CloseHandle(h);
  return ok;
}

std::string ToLogFileEncoding(std::u16string_view text) {
  if (text.empty()) return {};
  const auto* w = reinterpret_cast<const wchar_t*>(text.data());
  const int len = static_cast<int>(text.size());
  const int n = ::WideCharToMultiByte(CP_ACP, 0, w, len, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, w, len, out.data(), n, nullptr, nullptr);
  return out;
}

// ---- INI files -----------------------------------------------------------

namespace {
class WinIniReader final : public IniReader {
 public:
  explicit WinIniReader(std::u16string path) {
    // The profile functions look for a bare or relative name in the Windows
    // directory; the host means the file it named, relative to its own
    // working directory.
    std::wstring buf(MAX_PATH, L'\0');
    const std::u16string p(path);
    DWORD n = ::GetFullPathNameW(W(p), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    if (n >= buf.size()) {
      buf.resize(n + 1);
      n = ::GetFullPathNameW(W(p), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    }
    path_ = n ? FromW(buf.data(), n) : p;
  }

  std::vector<std::u16string> ReadSections() override {
    CheckReadable();
    std::wstring buf(4096, L'\0');
    DWORD n = 0;
    for (;;) {
      n = ::GetPrivateProfileSectionNamesW(buf.data(), static_cast<DWORD>(buf.size()), W(path_));
      if (n < buf.size() - 2) break;
      buf.resize(buf.size() * 2);
    }
    std::vector<std::u16string> names;
    size_t start = 0;
    while (start < n && buf[start] != L'\0') {
      const size_t end = buf.find(L'\0', start);
      names.push_back(FromW(buf.data() + start, end - start));
      start = end + 1;
    }
    return names;
  }

  std::u16string ReadString(std::u16string_view section, std::u16string_view key, std::u16string_view def) override {
    CheckReadable();
    const std::u16string s(section), k(key), d(def);
    wchar_t buf[2048];
    const DWORD n = ::GetPrivateProfileStringW(W(s), W(k), W(d), buf, 2048, W(path_));
    return FromW(buf, n);
  }

 private:
  // The profile functions answer an unreadable file with empty sections;
  // the engine needs to tell the host that reading failed.
  void CheckReadable() {
    if (checked_) return;
    HANDLE h = ::CreateFileW(W(path_), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("Cannot open file \"" + U16ToUtf8(path_) + "\"");
    ::CloseHandle(h);
    checked_ = true;
  }

  std::u16string path_;
  bool checked_ = false;
};
}  // namespace

std::unique_ptr<IniReader> OpenIniFile(std::u16string_view path) {
  return std::make_unique<WinIniReader>(std::u16string(path));
}

// ---- locks ---------------------------------------------------------------

struct Mutex::Impl {
  CRITICAL_SECTION cs;
};
Mutex::Mutex() : impl_(std::make_unique<Impl>()) { ::InitializeCriticalSection(&impl_->cs); }
Mutex::~Mutex() { ::DeleteCriticalSection(&impl_->cs); }
void Mutex::lock() { ::EnterCriticalSection(&impl_->cs); }
bool Mutex::try_lock() { return ::TryEnterCriticalSection(&impl_->cs) != 0; }
void Mutex::unlock() { ::LeaveCriticalSection(&impl_->cs); }

// ---- events and waits ----------------------------------------------------

struct Event::Impl {
  HANDLE h;
};

Event::Event(bool manualReset, bool initialState) : impl_(std::make_unique<Impl>()) {
  impl_->h = ::CreateEventW(nullptr, manualReset, initialState, nullptr);
}
Event::~Event() {
  if (impl_->h) ::CloseHandle(impl_->h);
}
void Event::Set() { ::SetEvent(impl_->h); }
void Event::Reset() { ::ResetEvent(impl_->h); }

namespace {
int MapWait(DWORD r, size_t count) {
  if (r == WAIT_TIMEOUT) return kWaitTimeout;
  if (r < WAIT_OBJECT_0 + count) return static_cast<int>(r - WAIT_OBJECT_0);
  return kWaitFailed;
}

int WaitMany(std::span<Event* const> events, bool all, uint32_t timeoutMs) {
  if (events.empty() || events.size() > MAXIMUM_WAIT_OBJECTS) return kWaitFailed;
  HANDLE handles[MAXIMUM_WAIT_OBJECTS];
  for (size_t i = 0; i < events.size(); ++i) {
    if (!events[i] || !events[i]->impl()->h) return kWaitFailed;
    handles[i] = events[i]->impl()->h;
  }
  return MapWait(::WaitForMultipleObjects(static_cast<DWORD>(events.size()), handles, all, timeoutMs), events.size());
}
}  // namespace

int WaitForOne(Event& e, uint32_t timeoutMs) {
  if (!e.impl()->h) return kWaitFailed;
  return MapWait(::WaitForSingleObject(e.impl()->h, timeoutMs), 1);
}
int WaitForAny(std::span<Event* const> events, uint32_t timeoutMs) { return WaitMany(events, false, timeoutMs); }
int WaitForAll(std::span<Event* const> events, uint32_t timeoutMs) { return WaitMany(events, true, timeoutMs); }

// ---- threads -------------------------------------------------------------

struct Thread::Impl {
  std::function<void()> body;
  size_t stackSize = 0;
  bool started = false;
};

namespace {
// Threads started by this module that have not ended.
struct ThreadRegistry {
  std::mutex m;
  std::condition_variable idle;
  size_t running = 0;  // guarded by m
};

constinit LazyGlobal<ThreadRegistry> gThreads;
ThreadRegistry& Threads() { return gThreads.Get(); }

struct ThreadStart {
  std::function<void()> body;
  HMODULE module;  // one reference, held until the thread exits
};

unsigned __stdcall ThreadMain(void* arg) {
  HMODULE module = nullptr;
  {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(arg));
    module = start->module;
    try {
      start->body();
    } catch (...) {
    }
  }
  {
    ThreadRegistry& r = Threads();
    std::lock_guard<std::mutex> lock(r.m);
    --r.running;
    r.idle.notify_all();
  }
  // The module's code must not run after its last reference is gone:
  // the system releases it and ends the thread in one step.
  if (module) ::FreeLibraryAndExitThread(module, 0);
  return 0;
}
}  // namespace

Thread::Thread(std::function<void()> body, size_t stackSize) : impl_(std::make_unique<Impl>()) {
  impl_->body = std::move(body);
  impl_->stackSize = stackSize;
}
Thread::~Thread() = default;

bool Thread::Resume() {
  if (impl_->started || !impl_->body) return false;
  HMODULE module = nullptr;
  // Taken here, before the thread exists, so that no unload can come
  // between its start and its reference.
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(reinterpret_cast<const void*>(&ThreadMain)), &module)) {
    return false;
  }
  auto* start = new ThreadStart{std::move(impl_->body), module};
  // The size is the stack's reservation, its whole size, not the part
  // committed at the start.
  const unsigned stackSize = static_cast<unsigned>(impl_->stackSize);
  ThreadRegistry& r = Threads();
  uintptr_t h = 0;
  {
    std::lock_guard<std::mutex> lock(r.m);
    h = _beginthreadex(nullptr, stackSize, &ThreadMain, start, stackSize ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0,
                       nullptr);
    if (h != 0) ++r.running;
  }
  if (h == 0) {
    impl_->body = std::move(start->body);
    delete start;
    ::FreeLibrary(module);
    return false;
  }
  // The thread frees itself: nobody joins it, so its handle is not kept.
  ::CloseHandle(reinterpret_cast<HANDLE>(h));
  impl_->started = true;
  return true;
}

size_t RunningThreads() {
  std::lock_guard<std::mutex> lock(Threads().m);
  return Threads().running;
}

bool WaitForThreads(uint32_t timeoutMs) {
  ThreadRegistry& r = Threads();
  std::unique_lock<std::mutex> lock(r.m);
  auto none = [&] { return r.running == 0; };
  if (timeoutMs == kInfinite) {
    r.idle.wait(lock, none);
    return true;
  }
  return r.idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), none);
}

void ReleaseSystemState() { gThreads.Release(); }

// ---- dynamic libraries ---------------------------------------------------

std::unique_ptr<DynamicLibrary> DynamicLibrary::Load(std::u16string_view path, std::string& error) {
  const std::u16string p(path);
  HMODULE h = ::LoadLibraryW(W(p));
  if (!h) {
    error = "LoadLibraryW failed with error " + std::to_string(::GetLastError());
    return nullptr;
  }
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(h));
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_) ::FreeLibrary(static_cast<HMODULE>(handle_));
}

void* DynamicLibrary::Symbol(const char* name) const {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace zqe::platform
