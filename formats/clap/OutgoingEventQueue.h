#pragma once
// Parameter news for the host that arise outside process() and flush(): the
// editor's gestures and values on the main thread. CLAP takes them only
// through the output list of the next process() or flush(), so they wait here.
// One producer (the main thread) and one consumer (whichever thread runs
// process() or flush(), never two at once); no lock, no allocation.

#include <array>
#include <atomic>
#include <cstdint>

struct OutgoingEvent {
  std::uint16_t type = 0;  // a CLAP event type: value, gesture begin or end
  std::uint32_t index = 0;
  double value = 0.0;  // plain value, for a value event
};

class OutgoingEventQueue {
 public:
  // False when full: the host has not flushed for a long time, and the event
  // is dropped rather than allocated for.
  bool push(const OutgoingEvent& event) {
    const std::uint32_t t = tail.load(std::memory_order_relaxed);
    if (t - head.load(std::memory_order_acquire) == kCapacity) return false;
    slots[t % kCapacity] = event;
    tail.store(t + 1, std::memory_order_release);
    return true;
  }

  // For the consumer: nothing waits.
  bool empty() const { return head.load(std::memory_order_relaxed) == tail.load(std::memory_order_acquire); }

  bool pop(OutgoingEvent& event) {
    const std::uint32_t h = head.load(std::memory_order_relaxed);
    if (h == tail.load(std::memory_order_acquire)) return false;
    event = slots[h % kCapacity];
    head.store(h + 1, std::memory_order_release);
    return true;
  }

 private:
  // A second of a fast drag at a 30 Hz idle, many times over.
  static constexpr std::uint32_t kCapacity = 256;
  std::array<OutgoingEvent, kCapacity> slots{};
  std::atomic<std::uint32_t> head{0};
  std::atomic<std::uint32_t> tail{0};
};
