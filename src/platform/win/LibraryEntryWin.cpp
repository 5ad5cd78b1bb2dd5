#include <windows.h>

#include "platform/LibraryEntry.h"

// The DLL carries its own static copy of the C++ runtime, whose exception
// emergency pool is never freed on its own: each load and unload would
// leave one behind. Nothing of the runtime is used after the unload code.
namespace __gnu_cxx {
void __freeres() noexcept;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      zqe::OnLibraryLoad();
      break;
    case DLL_PROCESS_DETACH:
      // A non-null `reserved` means the process is ending.
      zqe::OnLibraryUnload(reserved != nullptr);
      if (!reserved) __gnu_cxx::__freeres();
      break;
    default:
      break;
  }
  return TRUE;
}
