#include "dsp/grain_player.h"

#include <algorithm>

grain_player::grain_player(double sample_rate, int control_period)
    : voices(sample_rate, control_period),
      master(sample_rate, control_period),
      period_(std::max(control_period, 1)),
      period_seconds_(period_ / sample_rate) {}

void grain_player::set_design(const grain_design& design) {
  voices.set_design(design);
  master.set_design(design);
}

void grain_player::hand_over(note n, bool may_be_late) {
  if (n.start < last_start_) n.start = last_start_;
  if (may_be_late && n.start < voices.now()) n.start = voices.now();
  last_start_ = n.start;
  voices.add(n);
}

void grain_player::play_period(double* left, double* right, std::size_t frames, bool raw) {
  std::fill_n(left, frames, 0.0);
  std::fill_n(right, frames, 0.0);
  voices.render(left, right, frames);
  if (!raw) master.process(left, right, voices.sounding());
}
