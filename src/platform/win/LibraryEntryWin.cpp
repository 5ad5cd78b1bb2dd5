#include <windows.h>

#include "platform/LibraryEntry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      zqe::OnLibraryLoad();
      break;
    case DLL_PROCESS_DETACH:
      // A non-null `reserved` means the process is ending.
      zqe::OnLibraryUnload(reserved != nullptr);
      break;
    default:
      break;
  }
  return TRUE;
}
