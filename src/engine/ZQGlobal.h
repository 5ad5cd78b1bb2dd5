// Engine-wide flags.
#pragma once

#include <atomic>

namespace zqe {

// True once InitSEInstances has completed its checks; never reset.
extern std::atomic<bool> SEInstInited;

}  // namespace zqe
