// Where a seeding draws its numbers. The default engine draws from the C
// library's rand(), so that srand() governs its renders; any other engine
// has a generator of the same kind in a state of its own, which gives
// rand()'s sequence for the same seed and never touches rand()'s.
#pragma once

#include <array>
#include <cstdint>

class random_source {
 public:
  random_source() = default;              // the C library's rand()
  explicit random_source(unsigned seed);  // its own, seeded as srand(seed) seeds rand()

  // srand(seed) for rand(); for its own, the same seeding of its state.
  void seed(unsigned seed);

  // Its own generator's state as the C library keeps one (a word that
  // records the kind and the rear index, then the 31 words); null for
  // rand()'s, or where the library keeps no such state.
  char* own_state() { return own_ ? reinterpret_cast<char*>(state_.data()) : nullptr; }

 private:
  bool own_ = false;
  alignas(4) std::array<std::int32_t, 32> state_{};
};
