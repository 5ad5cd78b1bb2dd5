// Process-wide state that is built on first use and can be freed again
// when the library unloads, so that hosts which load and unload the
// engine many times do not grow. Constant-initialised and trivially
// destructible: valid before the runtime's initialisers and after its
// destructors, and never freed behind a thread's back by static
// destruction (only Release frees it, when no thread of ours runs).
#pragma once

#include <atomic>

namespace zqe {

template <typename T>
class LazyGlobal {
 public:
  constexpr LazyGlobal() = default;
  LazyGlobal(const LazyGlobal&) = delete;
  LazyGlobal& operator=(const LazyGlobal&) = delete;

  // The object, made by `make` (returning a new T*) if there is none; two
  // threads racing for the first use keep one object.
  template <typename Make>
  T& Get(Make make) {
    if (T* p = ptr_.load(std::memory_order_acquire)) return *p;
    T* fresh = make();
    T* expected = nullptr;
    if (ptr_.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) return *fresh;
    delete fresh;
    return *expected;
  }
  T& Get() {
    return Get([] { return new T(); });
  }

  // The object if it exists, without making it.
  T* Peek() const { return ptr_.load(std::memory_order_acquire); }

  // Frees the object; the next Get makes a new one.
  void Release() { delete ptr_.exchange(nullptr, std::memory_order_acq_rel); }

 private:
  std::atomic<T*> ptr_{nullptr};
};

}  // namespace zqe
