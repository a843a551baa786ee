// zelmora-render --live: the render played on the audio device until it has
// sounded, a stop by OSC or a signal ends it.
#pragma once

#include <string>

#include "engine/live/live.h"

struct live_render_options {
  std::string orchestra;
  std::string rtaudio;
  std::string score;  // the take, if asked for
  bool connect = true;
  bool verbose = false;
  bool quiet = false;
  live_sync sync = live_sync::none;
  int grain_beats = 4;  // with sync
};

// The program's exit status: 0 when the render sounded to its end or
// Ctrl-C (or /zelmora/stop) ended it, the take kept; 128 + the signal for
// SIGTERM and SIGHUP, no take kept; 1 when play could not begin, or the
// device went away (the take of what was played is kept).
int render_live(const live_render_options& opt);
