#pragma once
// A word shared between threads where only the latest value matters: the
// parameter thread writes settings the audio thread reads, the audio thread
// leaves meter values the user-interface thread reads. Relaxed ordering is
// enough because no other memory is published through these words, and on the
// platforms we build for it compiles to plain loads and stores.

#include <atomic>

template <typename T>
class RelaxedAtomic {
 public:
  constexpr RelaxedAtomic(T initial = T{}) noexcept : value_(initial) {}
  RelaxedAtomic(const RelaxedAtomic&) = delete;
  RelaxedAtomic& operator=(const RelaxedAtomic&) = delete;

  T load() const noexcept { return value_.load(std::memory_order_relaxed); }
  void store(T v) noexcept { value_.store(v, std::memory_order_relaxed); }

  operator T() const noexcept { return load(); }
  RelaxedAtomic& operator=(T v) noexcept {
    store(v);
    return *this;
  }

 private:
  static_assert(std::atomic<T>::is_always_lock_free, "shared words must not need a lock");
  std::atomic<T> value_;
};
