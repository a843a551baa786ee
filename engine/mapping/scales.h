// The two position scales the whole program shares: a state's position p
// stands for e^(0.096 p) Hz (0 is 1 Hz, 100 is 14764.78 Hz), an
// instrument's position for the score amplitude 10 p. Sliders, files,
// outside control and the mapping all convert through these.
#pragma once

#include <cmath>

constexpr double hertz_exponent_per_position = 0.096;
constexpr double amplitude_per_position = 10.0;

// e^(0.096 p), in double.
inline double position_hertz(double position) {
  return std::exp(position * hertz_exponent_per_position);
}
// The position whose frequency is `hertz` (> 0).
inline double hertz_position(double hertz) { return std::log(hertz) / hertz_exponent_per_position; }

inline double position_amplitude(double position) { return position * amplitude_per_position; }
inline double amplitude_position(double amplitude) { return amplitude / amplitude_per_position; }

// A state's frequency as the mapping stores it: e^(0.096 p), rounded to float.
inline float position_frequency(float position) {
  return static_cast<float>(position_hertz(static_cast<double>(position)));
}
