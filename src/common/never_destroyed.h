// Process-wide state that must outlive every other static of the library: its
// destructor never runs, so the unload hook can still use it however the C
// runtime orders static destruction. The unload hook releases what it holds.
#pragma once

#include <new>
#include <utility>

namespace zorvane {

template <typename T>
class NeverDestroyed {
 public:
  template <typename... Args>
  explicit NeverDestroyed(Args&&... args) {
    new (storage_) T(std::forward<Args>(args)...);
  }
  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

// Gives back everything value holds by swapping it with a fresh one (plain
// assignment of an empty string may keep the old buffer).
template <typename T>
void ResetAndRelease(T& value) {
  T fresh{};
  std::swap(value, fresh);
}

}  // namespace zorvane
