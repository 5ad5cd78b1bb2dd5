// The engine as a host sees it: a library loaded by path, InitZQE, the four
// callbacks and the per-thread last-error value. This is the reference for
// host developers; it uses nothing of the engine but include/zqe/zqe.h.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "zqe/zqe.h"

namespace zqe::platform {
class DynamicLibrary;
}

namespace zqe::cli {

// A failure to load or initialise the engine; the message explains the
// status and the last-error value in words.
class EngineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "87 (invalid parameter: ...)": the meaning of a status or last-error
// value as InitZQE and the callbacks use them.
std::string ExplainStatus(uint32_t code);

// The library file name of this platform: ZQE.dll or libzqe.so.
const char* LibraryFileName();

class EngineHost {
 public:
  // Loads the library and runs InitZQE with the definition file. Throws
  // EngineError when the library cannot be loaded, lacks InitZQE, or
  // InitZQE reports a status other than 0.
  EngineHost(const std::string& libraryPath, const std::string& configPath);
  // UnInit (if not done yet), then unloads the library.
  ~EngineHost();
  EngineHost(const EngineHost&) = delete;
  EngineHost& operator=(const EngineHost&) = delete;

  // The loaded definitions, read back with the count query and the copy.
  const std::vector<TZQSEDef>& Definitions() const { return defs_; }

  // One check; `result` is cleared first. Returns the Check callback's
  // Boolean; `lastError` receives the thread's last-error value after it.
  bool Check(const std::u16string& sentence, const std::u16string& filter, const TZQECheckParams& params,
             int32_t userData, TZQECheckResult& result, uint32_t& lastError) const;
  void CancelAll() const;
  void UnInit();

 private:
  uint32_t LastError() const;

  std::unique_ptr<platform::DynamicLibrary> lib_;
  using GetLastErrorFn = uint32_t (*)();
  GetLastErrorFn getLastError_ = nullptr;  // exported by the POSIX library only
  TZQEInterface intf_{};
  bool initialised_ = false;
  std::vector<TZQSEDef> defs_;
};

}  // namespace zqe::cli
