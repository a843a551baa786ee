// The notes of live play on their way from the engine's thread to the thread
// that owns csound (their start already on csound's clock), in a ring that
// neither side ever waits on a lock for.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

#include "dsp/note.h"

// One producer, one consumer. push() fails when the ring is full, pop() when
// it is empty; each side only ever stores its own index.
template <typename T, std::size_t Capacity>
class spsc_ring {
  static_assert((Capacity & (Capacity - 1)) == 0, "a power of two, so indices wrap cheaply");

 public:
  static constexpr std::size_t capacity = Capacity;

  bool push(const T& item) {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == Capacity) return false;
    slots_[tail & (Capacity - 1)] = item;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }

  bool pop(T& item) {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return false;
    item = slots_[head & (Capacity - 1)];
    head_.store(head + 1, std::memory_order_release);
    return true;
  }

  std::size_t size() const {
    return tail_.load(std::memory_order_acquire) - head_.load(std::memory_order_acquire);
  }

 private:
  std::array<T, Capacity> slots_{};
  alignas(64) std::atomic<std::size_t> head_{0};
  alignas(64) std::atomic<std::size_t> tail_{0};
};

// Room for over half a second of the densest play (100 voices, 1 ms grains),
// many times the look-ahead.
using live_note_queue = spsc_ring<note, std::size_t{1} << 16>;
