// One grain note: what a score line "i%d %f %f %f %f" says, as numbers. The
// engine makes them, the voices play them.
#pragma once

constexpr int max_instruments = 100;  // instruments a note may name: 1..max_instruments

struct note {
  int instrument = 0;      // 1..noinstrm
  double start = 0.0;      // seconds from the start of the render
  double duration = 0.0;   // the grain duration
  double amplitude = 0.0;  // 10 * the instrument's position
  double frequency = 0.0;  // Hz; 0 for a note beyond the n * n blocks
};
