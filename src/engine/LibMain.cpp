// The library's load and unload sequence and its exported entry.
#include <memory>

#include "engine/ZQDef.h"
#include "engine/ZQEImp.h"
#include "http/Http.h"
#include "log/zqTrace.h"
#include "platform/LibraryEntry.h"
#include "platform/Platform.h"
#include "zqe/zqe.h"

namespace zqe {

namespace {
// Owned from load to unload; the class-level log operations reach it
// through TLog4D::Install.
LogWriter* gLogWriter = nullptr;
}  // namespace

void OnLibraryLoad() {
  gLogWriter = new LogWriter(LogEnvironment::ForThisProcess());
  TLog4D::Install(gLogWriter);
  TZQTrace::Initialize();
  HttpUnitInitialize();
  SEDefArr.clear();
  ZQEImpInitialize();
  TLog4D::SetTraceAliasName(u"ZQE");
}

void OnLibraryUnload() {
  ZQEImpFinalize();
  SEDefArr.clear();
  SEDefArr.shrink_to_fit();
  HttpUnitFinalize();
  TZQTrace::Finalize();
  // The writer stays: compete threads of requests that timed out free
  // themselves whenever their engine returns, and may still log after the
  // host has unloaded us. No line is written by the unload itself.
}

}  // namespace zqe

extern "C" {

int32_t ZQE_STDCALL InitZQE(const ZQEChar* ConfigFile, TZQEInterface* Intf) {
  return zqe::InitZQEImpl(ConfigFile, Intf);
}

#if defined(__ELF__)
uint32_t ZQEGetLastError(void) { return zqe::platform::GetLastError(); }
#endif

}  // extern "C"
