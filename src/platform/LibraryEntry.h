// Called by the platform's library entry (DllMain on Windows, constructor
// and destructor functions on POSIX); defined by the engine. Linked only
// into the shared library, never into the test programs.
#pragma once

namespace zqe {
void OnLibraryLoad();
// processExit: the process is ending (not a plain unload); its other
// threads are gone, wherever they were.
void OnLibraryUnload(bool processExit);
}  // namespace zqe
