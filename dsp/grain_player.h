// The grain voices and the Master as one player, a control period at a
// time: what csound's opcode plays (plugin/) and what an LV2 instance plays
// (lv2/), so the two hosts share one implementation of the sound. The host
// hands notes over shortly before their time (due_until()) and asks for one
// period after another. Nothing is allocated once constructed.
#pragma once

#include <cstddef>

#include "dsp/grain_design.h"
#include "dsp/grain_voices.h"
#include "dsp/master.h"
#include "dsp/note.h"

class grain_player {
 public:
  // Notes are handed over this many control periods ahead of their time.
  static constexpr int periods_ahead = 2;

  grain_player(double sample_rate, int control_period);

  // How the notes from now on sound, and what the Master does with them.
  void set_design(const grain_design& design);

  // Starts never go back. A note that comes too late (`may_be_late`: live
  // play's, a plugin's whose worker fell behind) starts now.
  void hand_over(note n, bool may_be_late = false);

  // Notes starting before this time are due for the next period.
  double due_until() const { return voices.now() + periods_ahead * period_seconds_; }

  // One control period of `frames` samples into `left` and `right`
  // (cleared first): the voices, then the Master unless `raw`.
  void play_period(double* left, double* right, std::size_t frames, bool raw = false);

  // How far the Master delays the sound: the limiter's look-ahead.
  int latency_frames() const { return period_ * look_ahead_limiter::look; }
  int period() const { return period_; }

  grain_voices voices;
  grain_master master;

 private:
  int period_;
  double period_seconds_;
  double last_start_ = 0.0;
};
