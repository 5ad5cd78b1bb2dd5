// Storage for process-wide state that the library's start code fills and
// its stop code empties. On Linux those run from the loader's init and fini
// steps, which do not order themselves with the C++ runtime's own
// initialisers and destructors: state built with constant initialisation
// and never destroyed by the runtime is valid at both moments.
#pragma once

namespace zqe {

template <typename T>
union NoDestroy {
  T value;
  constexpr NoDestroy() : value() {}
  ~NoDestroy() {}
};

}  // namespace zqe
