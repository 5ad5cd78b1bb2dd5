#include "log/Log4D.h"

#include <mutex>

#include "platform/Text.h"

namespace zqe {

namespace {

constexpr const char16_t* kMarkers[5] = {u"-", u"!", u"***", u"^", u">>>"};

void AppendPadded(std::u16string& out, std::u16string_view s, size_t width, bool left) {
  if (!left && s.size() < width) out.append(width - s.size(), u' ');
  out.append(s);
  if (left && s.size() < width) out.append(width - s.size(), u' ');
}

void Append2(std::u16string& out, int v) {
  out.push_back(static_cast<char16_t>(u'0' + (v / 10) % 10));
  out.push_back(static_cast<char16_t>(u'0' + v % 10));
}

std::u16string TimeText(const platform::LocalTime& t) {
  std::u16string s;
  s.reserve(23);
  s += UIntToU16(static_cast<uint64_t>(t.year));
  while (s.size() < 4) s.insert(s.begin(), u'0');
  s.push_back(u'-');
  Append2(s, t.month);
  s.push_back(u'-');
  Append2(s, t.day);
  s.push_back(u' ');
  Append2(s, t.hour);
  s.push_back(u':');
  Append2(s, t.minute);
  s.push_back(u':');
  Append2(s, t.second);
  s.push_back(u'.');
  s.push_back(static_cast<char16_t>(u'0' + (t.millisecond / 100) % 10));
  Append2(s, t.millisecond % 100);
  return s;
}

std::u16string DateText(const platform::LocalTime& t) {
  std::u16string s = UIntToU16(static_cast<uint64_t>(t.year));
  while (s.size() < 4) s.insert(s.begin(), u'0');
  Append2(s, t.month);
  Append2(s, t.day);
  return s;
}

}  // namespace

std::u16string ExceptionMessage(const std::exception& e) {
  const char* w = e.what();
  return w ? Utf8ToU16(w) : std::u16string();
}

LogEnvironment LogEnvironment::ForThisProcess() {
  LogEnvironment env;
  const std::u16string program = platform::HostProgramPath();
  env.hostDir = platform::ExtractFilePath(program);
  env.hostFileName = platform::ExtractFileName(program);
  env.modulePath = platform::ModulePath();
  env.processId = platform::CurrentProcessId();
  env.now = [] { return platform::Now(); };
  env.threadId = [] { return platform::CurrentThreadId(); };
  return env;
}

LogWriter::LogWriter(LogEnvironment env) : env_(std::move(env)) {
  if (!env_.now) env_.now = [] { return platform::Now(); };
  if (!env_.threadId) env_.threadId = [] { return platform::CurrentThreadId(); };
  moduleName_ = platform::ExtractFileName(env_.modulePath);
  appName_ = env_.hostFileName;
  debugFileName_ = env_.hostDir + u".dbg";
  tracePrefix_ = u"[" + moduleName_ + u"] ";
  SetTrace2FileFlag(DebugFileExists());
  SetLogPath(u"");
  SetLogFileName(u"");
}

std::u16string LogWriter::BuildLine(int level, std::u16string_view msg) const {
  std::u16string line;
  line.reserve(64 + msg.size());
  AppendPadded(line, TimeText(env_.now()), 21, false);
  line.push_back(u' ');
  AppendPadded(line, tracePrefix_, 28, false);
  line.push_back(u' ');
  AppendPadded(line, UIntToU16(env_.threadId()), 6, true);
  line.push_back(u' ');
  AppendPadded(line, (level >= 0 && level < 5) ? kMarkers[level] : u"", 3, false);
  line.push_back(u' ');
  line.append(msg);
  return line;
}

void LogWriter::OutputLog(int level, std::u16string_view msg, bool force2File) {
  // File calls change the thread's last-error value, which callers set for
  // their host just before they log.
  struct KeepLastError {
    uint32_t saved = platform::GetLastError();
    ~KeepLastError() { platform::SetLastError(saved); }
  } keep;
  try {
    const std::u16string line = BuildLine(level, msg);
    platform::OutputDebug(line);
    if (!disableToDisk_ && (force2File || trace2File_)) WriteLogFile(line);
  } catch (const std::exception& e) {
    // Only allocation can fail here; the caller is never told.
    platform::OutputDebug(u"[OutputLog] Error:" + ExceptionMessage(e));
  }
}

void LogWriter::OutputLogFmt(int level, std::u16string_view fmt, FmtArgs args, bool force2File) {
  std::u16string msg;
  try {
    msg = Format(fmt, args);
  } catch (const std::exception& e) {
    try {
      platform::OutputDebug(Format(u"[__OutFmt] Fmt:%s Error : %s", {fmt, ExceptionMessage(e)}));
    } catch (...) {
    }
    return;
  }
  OutputLog(level, msg, force2File);
}

void LogWriter::WriteLogFile(std::u16string_view line) {
  std::u16string failure;
  try {
    std::lock_guard<platform::Mutex> lock(logLock_);
    if (logFullName_.empty()) {
      logFullName_ = logPath_ + DateText(env_.now()) + platform::kPathDelim + logFileName_ + u"#" +
                     UIntToU16(env_.processId) + u".log";
    }
    if (!logDirReady_) {
      const std::u16string dir = platform::ExtractFileDir(logFullName_);
      if (!platform::DirectoryExists(dir)) platform::ForceDirectories(dir);
      if (platform::DirectoryExists(dir)) {
        logDirReady_ = true;
      } else {
        platform::OutputDebug(u"!!! Error!Can not create log dir:" + dir);
        platform::OutputDebug(u">>> log msg:" + std::u16string(line));
        return;
      }
    }
    std::string bytes = platform::ToLogFileEncoding(line);
    bytes += "\r\n";
    const uint32_t err = platform::AppendToFile(logFullName_, bytes);
    if (err != 0) {
      platform::OutputDebug(u"output log (" + std::u16string(line) + u") to " + logFullName_ + u" ERROR:" +
                            UIntToU16(err));
    }
  } catch (const std::exception& e) {
    failure = ExceptionMessage(e);
  }
  if (!failure.empty()) platform::OutputDebug(u"output log(" + std::u16string(line) + u") Error:" + failure);
}

bool LogWriter::SetLogPath(std::u16string_view path) {
  if (path.empty()) {
    logPath_ = env_.hostDir;
    return false;
  }
  if (!platform::DirectoryExists(path)) platform::ForceDirectories(path);
  if (!platform::DirectoryExists(path)) return false;
  logPath_ = platform::IncludeTrailingDelim(path);
  return true;
}

void LogWriter::SetLogFileName(std::u16string_view name) {
  logFileName_ = name.empty() ? env_.hostFileName : std::u16string(name);
}

void LogWriter::SetTraceAliasName(std::u16string_view alias) {
  alias_ = std::u16string(alias);
  tracePrefix_ = alias_.empty() ? u"[" + moduleName_ + u"]" : u"[" + alias_ + u"@" + moduleName_ + u"]";
  OutputLog(llInfo, u"__TRACE_ALIASNAME:" + alias_, true);
}

void LogWriter::SetTrace2FileFlag(bool enable) {
  trace2File_ = enable;
  platform::OutputDebug(u"[" + env_.modulePath + u"]__Trace2FileFlag:" + BoolToU16(enable));
}

void LogWriter::SetDisableToDisk(bool disable) {
  disableToDisk_ = disable;
  platform::OutputDebug(u"[" + env_.modulePath + u"]__DisableToDisk:" + BoolToU16(disable));
}

bool LogWriter::DebugFileExists() {
  if (debugFileAnswer_ < 0) debugFileAnswer_ = platform::FileExists(debugFileName_) ? 1 : 0;
  return debugFileAnswer_ == 1;
}

std::u16string LogWriter::LogFullName() {
  std::lock_guard<platform::Mutex> lock(logLock_);
  return logFullName_;
}

// ---- class-level operations ----------------------------------------------

namespace {
std::atomic<LogWriter*> gWriter{nullptr};
}

LogWriter* TLog4D::Install(LogWriter* writer) { return gWriter.exchange(writer); }

LogWriter& TLog4D::Writer() {
  if (LogWriter* w = gWriter.load(std::memory_order_acquire)) return *w;
  // Code running outside the library (unit tests of other layers) logs
  // through a writer for this process with the default settings.
  static LogWriter fallback(LogEnvironment::ForThisProcess());
  return fallback;
}

void TLog4D::OutputLog(int level, std::u16string_view msg, bool force2File) {
  Writer().OutputLog(level, msg, force2File);
}

#define ZQE_LOG_PAIR(Name, Level)                                                       \
  void TLog4D::Name(std::u16string_view msg, bool force2File) {                         \
    Writer().OutputLog(Level, msg, force2File);                                         \
  }                                                                                     \
  void TLog4D::Name(std::u16string_view fmt, FmtArgs args, bool force2File) {           \
    Writer().OutputLogFmt(Level, fmt, args, force2File);                                \
  }
ZQE_LOG_PAIR(I, llInfo)
ZQE_LOG_PAIR(W, llWarn)
ZQE_LOG_PAIR(Impt, llImpt)
ZQE_LOG_PAIR(E, llError)
ZQE_LOG_PAIR(Fatal, llFatal)
#undef ZQE_LOG_PAIR

void TLog4D::E(std::u16string_view msg, const std::exception& e, bool force2File) {
  Writer().OutputLog(llError, std::u16string(msg) + u" Exception:" + ExceptionMessage(e), force2File);
}

void TLog4D::Fatal(std::u16string_view msg, const std::exception& e, bool force2File) {
  Writer().OutputLog(llFatal, std::u16string(msg) + u" Exception:" + ExceptionMessage(e), force2File);
}

std::shared_ptr<IBlockLog> TLog4D::Enter(std::u16string_view pref) {
  return std::make_shared<TBlockLog>(std::u16string(pref));
}

void TLog4D::B(const std::function<void()>& proc, std::u16string_view pref) {
  const std::u16string p(pref);
  Writer().OutputLog(llInfo, p + u" >", true);
  struct Leave {
    const std::u16string& p;
    ~Leave() { Writer().OutputLog(llInfo, p + u" .", true); }
  } leave{p};
  proc();
}

TBlockLog::TBlockLog(std::u16string pref) : FPref(std::move(pref)) { Enter(); }
TBlockLog::~TBlockLog() { Leave(); }
void TBlockLog::Enter() { TLog4D::I(u"[%s] >", {FPref}, false); }
void TBlockLog::Leave() { TLog4D::I(u"[%s] .", {FPref}, false); }

}  // namespace zqe
