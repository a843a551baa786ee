#include "engine/render/palette.h"

#include <algorithm>
#include <cmath>

namespace {

// Nine evenly spaced stops of a perceptually uniform scale; colours
// between stops are interpolated linearly.
constexpr std::array<rgb_colour, 9> stops{{{68, 1, 84},
                                          {71, 45, 123},
                                          {59, 82, 139},
                                          {44, 114, 142},
                                          {33, 145, 140},
                                          {40, 174, 128},
                                          {94, 201, 98},
                                          {173, 220, 48},
                                          {253, 231, 37}}};

std::uint8_t mix(std::uint8_t a, std::uint8_t b, double f) {
  return static_cast<std::uint8_t>(std::lround(a + (b - a) * f));
}

}  // namespace

rgb_colour state_colour(int state, int Ns) {
  if (Ns <= 1) return stops.front();
  const double position =
      static_cast<double>(std::clamp(state, 0, Ns - 1)) / (Ns - 1) * (stops.size() - 1);
  const auto low = std::min(static_cast<std::size_t>(position), stops.size() - 2);
  const double f = position - static_cast<double>(low);
  const rgb_colour& a = stops[low];
  const rgb_colour& b = stops[low + 1];
  return {mix(a.red, b.red, f), mix(a.green, b.green, f), mix(a.blue, b.blue, f)};
}
