// The library's load and unload sequence and its exported entry.
#include <memory>

#include "engine/ZQDef.h"
#include "engine/ZQEImp.h"
#include "html/HtmlParser.h"
#include "http/Http.h"
#include "log/zqTrace.h"
#include "platform/LibraryEntry.h"
#include "platform/Platform.h"
#include "search/SERest.h"
#include "search/SERules.h"
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

void OnLibraryUnload(bool processExit) {
  // At process exit the system has ended every other thread wherever it
  // was, maybe inside one of our locks: free nothing, the process goes.
  if (processExit) return;
  ZQEImpFinalize(false);
  // A thread of ours that never ended (stuck beyond every abort) may still
  // reach what follows: then it all stays.
  if (platform::RunningThreads() != 0) return;
  SEDefArr.clear();
  SEDefArr.shrink_to_fit();
  HttpUnitFinalize();
  TZQTrace::Finalize();
  TLog4D::Install(nullptr);
  delete gLogWriter;
  gLogWriter = nullptr;
  html::ReleaseTagClassTable();
  html::ReleaseCharRefTable();
  TSERestState::ReleaseProcess();
  TSEDefRestTable::ReleaseProcess();
  TSEDefRulesTable::ReleaseProcess();
  platform::ReleaseProcessState();
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
