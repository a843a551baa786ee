#include "engine/automaton/random_source.h"

#include <cstdlib>

random_source::random_source(unsigned seed) : own_(true) { this->seed(seed); }

void random_source::seed(unsigned seed) {
  if (!own_) {
    std::srand(seed);
    return;
  }
#ifdef __GLIBC__
  // The library seeds a state of the caller's the way srand() seeds its own.
  random_data data{};
  initstate_r(seed, reinterpret_cast<char*>(state_.data()), sizeof state_, &data);
#else
  own_ = false;  // no such state here: rand() it is
  std::srand(seed);
#endif
}
