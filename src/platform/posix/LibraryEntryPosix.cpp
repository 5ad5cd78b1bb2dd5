#include "platform/LibraryEntry.h"

namespace zqe::platform {
// PlatformPosix.cpp: the code runs inside the shared library, whose unload
// joins its threads.
void MarkSharedLibrary();
}  // namespace zqe::platform

namespace {
__attribute__((constructor)) void ZqeLibraryLoad() {
  zqe::platform::MarkSharedLibrary();
  zqe::OnLibraryLoad();
}
// The same function runs for dlclose and for exit(); at exit the other
// threads still run, so waiting for ours there is as safe as at dlclose.
__attribute__((destructor)) void ZqeLibraryUnload() { zqe::OnLibraryUnload(false); }
}  // namespace
