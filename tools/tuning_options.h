// zelmora-render's tuning and tempo options, taken into the default engine
// once the set and the event list are loaded.
#pragma once

#include <string>

struct tuning_options {
  std::string scale;  // --scale FILE.scl
  std::string kbm;    // --kbm FILE.kbm
  bool quantize = false;
  double tempo = 0.0;   // --tempo; 0: none
  int grain_beats = 0;  // --grain-beats; 0: not given
};

// The grains a beat the options ask for.
int tempo_grain_beats(const tuning_options& options);

// Reads the files and retunes the states, says what a load folded or left,
// and sets quantizing and the beat grid. False (said) when a file is refused.
bool apply_tuning_options(const tuning_options& options);
