#include "host/EngineHost.h"

#include <cstring>

#include "platform/Platform.h"
#include "platform/Text.h"

namespace zqe::cli {

std::string ExplainStatus(uint32_t code) {
  const char* what = "unknown error";
  switch (code) {
    case ZQE_OK: what = "success"; break;
    case ZQE_ERROR_INVALID_FUNCTION: what = "the interface record's magic number was rejected"; break;
    case 2: what = "the definition file does not exist"; break;  // last error after 1206
    case ZQE_ERROR_NOT_READY: what = "the engine is not initialised"; break;
    case ZQE_ERROR_BAD_LENGTH: what = "a size or count does not match what the engine holds"; break;
    case 30: what = "the definition file could not be read"; break;  // last error after 1206
    case ZQE_ERROR_INVALID_PARAMETER: what = "invalid parameter"; break;
    case ZQE_ERROR_BAD_CONFIGURATION: what = "the definition file could not be loaded"; break;
    case ZQE_ERROR_INIT_INSTANCES: what = "the engines could not be set up from the definitions"; break;
  }
  return std::to_string(code) + " (" + what + ")";
}

const char* LibraryFileName() {
#if defined(_WIN32)
  return "ZQE.dll";
#else
  return "libzqe.so";
#endif
}

EngineHost::EngineHost(const std::string& libraryPath, const std::string& configPath) {
  std::string error;
  lib_ = platform::DynamicLibrary::Load(Utf8ToU16(libraryPath), error);
  if (!lib_) throw EngineError("cannot load the engine library " + libraryPath + ": " + error);
  auto init = reinterpret_cast<TInitZQE>(lib_->Symbol("InitZQE"));
  if (!init) throw EngineError(libraryPath + " does not export InitZQE");
  getLastError_ = reinterpret_cast<GetLastErrorFn>(lib_->Symbol("ZQEGetLastError"));

  intf_.Size = sizeof(TZQEInterface);
  intf_.Magic = ZQE_INTERFACE_MAGIC;
  const std::u16string config = Utf8ToU16(configPath);
  const int32_t status = init(config.c_str(), &intf_);
  const uint32_t lastError = LastError();
  if (status != 0) {
    // The slots may already be filled (a definition-file failure comes
    // after they are written); shut down what InitZQE may have built.
    if (intf_.UnInit) intf_.UnInit();
    std::string msg = "InitZQE(\"" + configPath + "\") failed with status " +
                      ExplainStatus(static_cast<uint32_t>(status));
    if (lastError != static_cast<uint32_t>(status)) msg += "; last-error value " + ExplainStatus(lastError);
    throw EngineError(msg);
  }
  if (!intf_.GetSEDefArr || !intf_.Check || !intf_.CancelAll || !intf_.UnInit)
    throw EngineError("InitZQE succeeded but left a callback slot empty");
  initialised_ = true;

  // The destructor does not run for a constructor that throws.
  auto fail = [this](const std::string& msg) {
    UnInit();
    throw EngineError(msg);
  };
  int32_t count = 0;
  intf_.GetSEDefArr(nullptr, &count);
  if (const uint32_t e = LastError(); e != 0) fail("GetSEDefArr (count) failed with last-error value " + ExplainStatus(e));
  defs_.resize(static_cast<size_t>(count > 0 ? count : 0));
  if (!defs_.empty()) {
    TZQSEDef* buffer = defs_.data();
    intf_.GetSEDefArr(&buffer, &count);
    if (const uint32_t e = LastError(); e != 0) fail("GetSEDefArr (copy) failed with last-error value " + ExplainStatus(e));
  }
}

EngineHost::~EngineHost() { UnInit(); }

uint32_t EngineHost::LastError() const {
  // Windows keeps the value per thread itself; the POSIX library exports
  // a reader for its own.
  return getLastError_ ? getLastError_() : platform::GetLastError();
}

bool EngineHost::Check(const std::u16string& sentence, const std::u16string& filter, const TZQECheckParams& params,
                       int32_t userData, TZQECheckResult& result, uint32_t& lastError) const {
  std::memset(&result, 0, sizeof result);
  // Every accepted request writes TotalMSecs; one left at -1 means the
  // engine refused the call (or failed inside it) and the last-error value
  // says why.
  result.TotalMSecs = -1;
  const bool found = intf_.Check(sentence.c_str(), filter.c_str(), &params, userData, &result) != 0;
  lastError = LastError();
  return found;
}

void EngineHost::CancelAll() const {
  if (initialised_) intf_.CancelAll();
}

void EngineHost::UnInit() {
  if (!initialised_) return;
  initialised_ = false;
  intf_.UnInit();
}

}  // namespace zqe::cli
