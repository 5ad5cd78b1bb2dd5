// The engine's single logging facility. Every line is built with a
// timestamp, the process-wide prefix, the thread id and a level marker, is
// always sent to the debug-output channel, and is appended to the
// process's log file (log path + YYYYMMDD + file name#pid.log) when file
// output is on for that line. The writer never raises to its caller: its
// own failures are reported on the debug-output channel and swallowed.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "log/Format.h"
#include "platform/Platform.h"

namespace zqe {

enum TLogLevel : int { llInfo = 0, llWarn = 1, llImpt = 2, llError = 3, llFatal = 4 };

// What the writer needs to know about its process; tests build their own
// to put the log below a temporary directory and to fix the clock.
struct LogEnvironment {
  std::u16string hostDir;       // with trailing delimiter
  std::u16string hostFileName;  // the program's file name with extension
  std::u16string modulePath;    // full path of the library
  uint32_t processId = 0;
  std::function<platform::LocalTime()> now;
  std::function<uint32_t()> threadId;

  static LogEnvironment ForThisProcess();
};

// The process-wide state of the log writer. Settings are written while
// the library loads, before other threads log, and read without a lock
// afterwards; LogFullName and LogDirReady are guarded by the log lock.
class LogWriter {
 public:
  // Runs the unit's load steps: records the process, module and program,
  // sets the prefix, the file flag from the debug marker file, and the
  // default log path and file name.
  explicit LogWriter(LogEnvironment env);
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  void OutputLog(int level, std::u16string_view msg, bool force2File);
  // Formats first; a format failure sends only the "[__OutFmt]" line to the
  // debug-output channel.
  void OutputLogFmt(int level, std::u16string_view fmt, FmtArgs args, bool force2File);
  std::u16string BuildLine(int level, std::u16string_view msg) const;

  bool SetLogPath(std::u16string_view path);
  void SetLogFileName(std::u16string_view name);
  void SetTraceAliasName(std::u16string_view alias);
  void SetTrace2FileFlag(bool enable);
  void SetDisableToDisk(bool disable);

  bool GetTrace2FileFlag() const { return trace2File_; }
  bool GetDisableToDisk() const { return disableToDisk_; }
  const std::u16string& GetTraceAliasName() const { return alias_; }
  const std::u16string& TracePrefix() const { return tracePrefix_; }
  const std::u16string& LogPath() const { return logPath_; }
  const std::u16string& LogFileName() const { return logFileName_; }
  const std::u16string& MoudleName() const { return moduleName_; }
  const std::u16string& AppName() const { return appName_; }
  const std::u16string& DebugFileName() const { return debugFileName_; }
  const std::u16string& HostDir() const { return env_.hostDir; }
  bool DebugFileExists();
  // Empty until the first line has been written to a file.
  std::u16string LogFullName();

 private:
  void WriteLogFile(std::u16string_view line);

  LogEnvironment env_;
  std::u16string moduleName_;
  std::u16string appName_;
  std::u16string debugFileName_;
  std::u16string tracePrefix_;
  std::u16string alias_;
  std::u16string logPath_;
  std::u16string logFileName_;
  bool trace2File_ = false;
  bool disableToDisk_ = false;
  int debugFileAnswer_ = -1;  // -1 not asked yet

  platform::Mutex logLock_;
  std::u16string logFullName_;  // guarded by logLock_
  bool logDirReady_ = false;    // guarded by logLock_
};

class IBlockLog {
 public:
  virtual ~IBlockLog() = default;
  virtual void Enter() = 0;
  virtual void Leave() = 0;
};

// Writes "[Pref] >" when made and "[Pref] ." when the last reference goes.
class TBlockLog final : public IBlockLog {
 public:
  explicit TBlockLog(std::u16string pref);
  ~TBlockLog() override;
  void Enter() override;
  void Leave() override;

 private:
  std::u16string FPref;
};

// Class-level operations over the process's writer. TZQTrace derives from
// it and shares the same state.
class TLog4D {
 public:
  TLog4D() = delete;

  // The writer that the class-level operations use. Installed at library
  // load; tests install their own and restore the previous one.
  static LogWriter* Install(LogWriter* writer);
  static LogWriter& Writer();

  static void I(std::u16string_view msg, bool force2File = false);
  static void I(std::u16string_view fmt, FmtArgs args, bool force2File = false);
  static void W(std::u16string_view msg, bool force2File = false);
  static void W(std::u16string_view fmt, FmtArgs args, bool force2File = false);
  static void Impt(std::u16string_view msg, bool force2File = false);
  static void Impt(std::u16string_view fmt, FmtArgs args, bool force2File = false);
  static void E(std::u16string_view msg, bool force2File = false);
  static void E(std::u16string_view fmt, FmtArgs args, bool force2File = false);
  static void E(std::u16string_view msg, const std::exception& e, bool force2File = false);
  static void Fatal(std::u16string_view msg, bool force2File = false);
  static void Fatal(std::u16string_view fmt, FmtArgs args, bool force2File = false);
  static void Fatal(std::u16string_view msg, const std::exception& e, bool force2File = false);

  static std::shared_ptr<IBlockLog> Enter(std::u16string_view pref);
  // Runs proc between "Pref >" and "Pref ." (both forced to the file); an
  // exception from proc goes on to the caller after the second line.
  static void B(const std::function<void()>& proc, std::u16string_view pref);

  static void OutputLog(int level, std::u16string_view msg, bool force2File);

  static bool SetLogPath(std::u16string_view path) { return Writer().SetLogPath(path); }
  static void SetLogFileName(std::u16string_view name) { Writer().SetLogFileName(name); }
  static void SetTraceAliasName(std::u16string_view alias) { Writer().SetTraceAliasName(alias); }
  static void SetTrace2FileFlag(bool enable) { Writer().SetTrace2FileFlag(enable); }
  static void SetDisableToDisk(bool disable) { Writer().SetDisableToDisk(disable); }
  static bool GetTrace2FileFlag() { return Writer().GetTrace2FileFlag(); }
  static std::u16string GetTraceAliasName() { return Writer().GetTraceAliasName(); }
  static std::u16string LogPath() { return Writer().LogPath(); }
  static std::u16string MoudleName() { return Writer().MoudleName(); }
  static std::u16string AppName() { return Writer().AppName(); }
  static std::u16string DebugFileName() { return Writer().DebugFileName(); }
  static bool DebugFileExists() { return Writer().DebugFileExists(); }
};

// The message of a caught exception as UTF-16 (what() is taken as UTF-8).
std::u16string ExceptionMessage(const std::exception& e);

}  // namespace zqe
