#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <tlhelp32.h>

#include <mutex>

#include "platform/HostSupport.h"

namespace zqe::platform {

// ---- interrupts ------------------------------------------------------------

namespace {

std::mutex gInterruptMutex;
std::function<void()> gInterruptHandler;  // guarded by gInterruptMutex

// The system calls this on a thread of its own, so the host's handler may
// block and call into the engine.
BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  std::function<void()> h;
  {
    std::lock_guard<std::mutex> lock(gInterruptMutex);
    h = gInterruptHandler;
  }
  if (!h) return FALSE;
  h();
  return TRUE;
}

}  // namespace

void SetInterruptHandler(std::function<void()> handler) {
  std::lock_guard<std::mutex> lock(gInterruptMutex);
  const bool install = static_cast<bool>(handler);
  const bool installed = static_cast<bool>(gInterruptHandler);
  gInterruptHandler = std::move(handler);
  if (install != installed) ::SetConsoleCtrlHandler(OnConsoleControl, install ? TRUE : FALSE);
}

bool IsTerminal(StdStream stream) {
  DWORD mode = 0;
  HANDLE h = ::GetStdHandle(stream == StdStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  return h != nullptr && h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode) != 0;
}

void UseUtf8Console() { ::SetConsoleOutputCP(CP_UTF8); }

bool ReadStandardInput(std::string& bytes) {
  bytes.clear();
  HANDLE h = ::GetStdHandle(STD_INPUT_HANDLE);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
  char buf[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(h, buf, sizeof buf, &got, nullptr)) return ::GetLastError() == ERROR_BROKEN_PIPE;
    if (got == 0) return true;
    bytes.append(buf, got);
  }
}

// ---- GB18030 ---------------------------------------------------------------

bool DecodeGb18030(std::string_view bytes, std::u16string& out) {
  out.clear();
  if (bytes.empty()) return true;
  const int n = static_cast<int>(bytes.size());
  // 54936 is GB18030; systems without it still know 936 (GBK), its subset.
  for (UINT cp : {54936u, 936u}) {
    const int len = ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), n, nullptr, 0);
    if (len <= 0) {
      if (::GetLastError() == ERROR_NO_UNICODE_TRANSLATION) return false;
      continue;
    }
    out.resize(static_cast<size_t>(len));
    ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), n, reinterpret_cast<wchar_t*>(out.data()), len);
    return true;
  }
  return false;
}

// ---- child processes -------------------------------------------------------

struct ChildProcess::Impl {
  HANDLE process = nullptr;
  HANDLE read = nullptr;
  std::string pending;
};

ChildProcess::ChildProcess(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ChildProcess::~ChildProcess() {
  Kill();
  if (impl_->read) ::CloseHandle(impl_->read);
}

namespace {

// The quoting that the C runtime's argument parser undoes.
void AppendQuoted(std::wstring& cmd, const std::wstring& arg) {
  if (!cmd.empty()) cmd += L' ';
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
    cmd += arg;
    return;
  }
  cmd += L'"';
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') cmd.append(backslashes * 2 + 1, L'\\');
    else cmd.append(backslashes, L'\\');
    backslashes = 0;
    cmd += c;
  }
  cmd.append(backslashes * 2, L'\\');
  cmd += L'"';
}

std::wstring Widen(const std::string& s) {
  if (s.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv, std::string& error,
                                                  bool mergeStderr) {
  if (argv.empty()) {
    error = "no program to start";
    return nullptr;
  }
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE r = nullptr, w = nullptr;
  if (!::CreatePipe(&r, &w, &sa, 0)) {
    error = "CreatePipe failed with error " + std::to_string(::GetLastError());
    return nullptr;
  }
  ::SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0);
  std::wstring cmd;
  for (const auto& a : argv) AppendQuoted(cmd, Widen(a));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = w;
  si.hStdError = mergeStderr ? w : ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  const std::wstring app = Widen(argv[0]);
  const BOOL ok = ::CreateProcessW(app.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  const DWORD err = ::GetLastError();
  ::CloseHandle(w);
  if (!ok) {
    ::CloseHandle(r);
    error = "cannot start " + argv[0] + ": CreateProcessW failed with error " + std::to_string(err);
    return nullptr;
  }
  ::CloseHandle(pi.hThread);
  auto impl = std::make_unique<Impl>();
  impl->process = pi.hProcess;
  impl->read = r;
  return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(impl)));
}

bool ChildProcess::ReadLine(std::string& line, uint32_t timeoutMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    const auto nl = impl_->pending.find('\n');
    if (nl != std::string::npos) {
      line = impl_->pending.substr(0, nl);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      impl_->pending.erase(0, nl + 1);
      return true;
    }
    if (!impl_->read) return false;
    // Anonymous pipes have no overlapped reads: poll what is available.
    DWORD avail = 0;
    if (!::PeekNamedPipe(impl_->read, nullptr, 0, nullptr, &avail, nullptr)) {
      ::CloseHandle(impl_->read);
      impl_->read = nullptr;
      continue;
    }
    if (avail == 0) {
      if (::GetTickCount() - start >= timeoutMs) return false;
      ::Sleep(10);
      continue;
    }
    char buf[4096];
    DWORD got = 0;
    if (!::ReadFile(impl_->read, buf, avail < sizeof buf ? avail : sizeof buf, &got, nullptr) || got == 0) {
      ::CloseHandle(impl_->read);
      impl_->read = nullptr;
      continue;
    }
    impl_->pending.append(buf, got);
  }
}

int ChildProcess::Wait() {
  if (!impl_->process) return -1;
  ::WaitForSingleObject(impl_->process, INFINITE);
  DWORD code = 0;
  const bool ok = ::GetExitCodeProcess(impl_->process, &code) != 0;
  ::CloseHandle(impl_->process);
  impl_->process = nullptr;
  return ok ? static_cast<int>(code) : -1;
}

void ChildProcess::Kill() {
  if (!impl_->process) return;
  ::TerminateProcess(impl_->process, 1);
  ::WaitForSingleObject(impl_->process, 5000);
  ::CloseHandle(impl_->process);
  impl_->process = nullptr;
}

// ---- resources -------------------------------------------------------------

ProcessResources ProcessResourceCounts() {
  ProcessResources r;
  DWORD handles = 0;
  // Counted before the snapshot below adds a handle of its own.
  if (::GetProcessHandleCount(::GetCurrentProcess(), &handles)) r.handles = handles;
  HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap != INVALID_HANDLE_VALUE) {
    THREADENTRY32 te;
    te.dwSize = sizeof te;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL ok = ::Thread32First(snap, &te); ok; ok = ::Thread32Next(snap, &te))
      if (te.th32OwnerProcessID == self) ++r.threads;
    ::CloseHandle(snap);
  }
  PROCESS_MEMORY_COUNTERS pmc;
  pmc.cb = sizeof pmc;
  if (::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc)) r.residentBytes = pmc.WorkingSetSize;
  return r;
}

}  // namespace zqe::platform
