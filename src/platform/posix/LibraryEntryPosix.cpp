#include "platform/LibraryEntry.h"

namespace {
__attribute__((constructor)) void ZqeLibraryLoad() { zqe::OnLibraryLoad(); }
__attribute__((destructor)) void ZqeLibraryUnload() { zqe::OnLibraryUnload(); }
}  // namespace
