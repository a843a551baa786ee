// rand() % modulus for a whole grid at once, from a random_source. The C
// library's generator on this platform (an additive lagged-Fibonacci
// generator of degree 31 and separation 3) is taken over through
// setstate(), or a source's own state of the same kind is read, run here
// eight values at a time, and handed back advanced exactly as many calls of
// rand() would have left it. Elsewhere, or with another generator, rand()
// itself is called.
#pragma once

#include <array>
#include <cstdint>

#include "engine/automaton/random_source.h"

class rand_stream {
 public:
  explicit rand_stream(random_source& source);
  ~rand_stream();  // gives the generator back
  rand_stream(const rand_stream&) = delete;
  rand_stream& operator=(const rand_stream&) = delete;

  // out[i] = rand() % modulus for i in 0..count-1, in order; modulus >= 1.
  void draw(int modulus, std::int32_t* out, int count);
  void draw(int modulus, std::uint8_t* out, int count);  // modulus <= 256

 private:
  template <typename Cell>
  void draw_cells(int modulus, Cell* out, int count);
  void advance(int count);  // count more values after the history

  static constexpr int degree = 31;
  static constexpr int separation = 3;
  static constexpr int chunk = 1024;
  // The generator's words as a sequence: history_ values, then the new ones.
  // Eight values at once use s[n] = s[n-9] + s[n-31] + s[n-34] + s[n-37]
  // (the recurrence s[n] = s[n-3] + s[n-31] unrolled thrice), so 37 are kept.
  static constexpr int history = 37;
  alignas(32) std::uint32_t sequence_[history + chunk + 8] = {};
  int known_ = 0;           // valid history words at the front (31 at the start)
  char* library_state_ = nullptr;  // the generator's words; null: call rand()
  bool borrowed_ = false;          // from rand(), through setstate()
  // What setstate() holds while its own generator is borrowed; never drawn from.
  alignas(4) std::array<std::int32_t, 2> stand_in_{0, 1};
  int front_ = 0;           // index in the library's array of its oldest word
  long long drawn_ = 0;     // values drawn since the take-over
};
