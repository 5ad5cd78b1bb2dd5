#include <windows.h>

#include "platform/LibraryEntry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      zqe::OnLibraryLoad();
      break;
    case DLL_PROCESS_DETACH:
      zqe::OnLibraryUnload();
      break;
    default:
      break;
  }
  return TRUE;
}
