// The colours of the automaton's states, shared by the picture frames and
// the Automaton window: a perceptual scale (even steps of lightness, readable
// without colour vision) from dark violet for healthy 0 through blue and
// green to yellow for ill Ns-1.
#pragma once

#include <array>
#include <cstdint>

struct rgb_colour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const rgb_colour&, const rgb_colour&) = default;
};

// The colour of `state` among Ns states; states outside 0..Ns-1 take the
// nearest end.
rgb_colour state_colour(int state, int Ns);
