// The library's load and unload sequence and its exported entry.
#include <memory>

#include "engine/ZQDef.h"
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
  TLog4D::SetTraceAliasName(u"ZQE");
}

void OnLibraryUnload() {
  SEDefArr.clear();
  SEDefArr.shrink_to_fit();
  HttpUnitFinalize();
  TZQTrace::Finalize();
  TLog4D::Install(nullptr);
  delete gLogWriter;
  gLogWriter = nullptr;
}

}  // namespace zqe

extern "C" {

int32_t ZQE_STDCALL InitZQE(const ZQEChar* ConfigFile, TZQEInterface* Intf) {
  using namespace zqe;
  try {
    TZQTrace::I(u"InitZQE", false);
    (void)ConfigFile;
    int32_t status;
    if (!Intf)
      status = 87;
    else if (Intf->Magic != ZQE_INTERFACE_MAGIC)
      status = 1;
    else if (Intf->Size != sizeof(TZQEInterface))
      status = 24;
    else
      status = 1;  // the check engines are not part of this build yet
    platform::SetLastError(static_cast<uint32_t>(status));
    return status;
  } catch (...) {
    platform::SetLastError(1);
    return 1;
  }
}

#if defined(__ELF__)
uint32_t ZQEGetLastError(void) { return zqe::platform::GetLastError(); }
#endif

}  // extern "C"
