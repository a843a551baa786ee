#include "lv2/note_feed.h"

#include <algorithm>

note_feed::note_feed(double rate, feed_ring& notes, design_ring& designs)
    : rate_(rate), notes_(notes), designs_(designs) {
  reset();
}

void note_feed::reset() {
  player_.emplace(rate_, orchestra_period);
  used_ = orchestra_period;
  has_waiting_ = false;
}

double note_feed::now() const {
  return player_->voices.now() - (orchestra_period - used_) / rate_;
}

// Designs first: a restarted render's notes come after its design.
void note_feed::take_due(std::uint32_t generation) {
  for (grain_design design; designs_.pop(design);) player_->set_design(design);
  const double until = player_->due_until();
  while (has_waiting_ || notes_.pop(waiting_)) {
    has_waiting_ = true;
    if (waiting_.generation == generation) {
      if (waiting_.n.start >= until) return;
      player_->hand_over(waiting_.n, true);
    }
    has_waiting_ = false;
  }
}

void note_feed::next_period(std::uint32_t generation) {
  take_due(generation);
  player_->play_period(left_.data(), right_.data(), orchestra_period);
  used_ = 0;
}

void note_feed::render(float* left, float* right, std::uint32_t frames, std::uint32_t generation,
                       float gain_from, float gain_to) {
  const double step = frames > 0 ? (static_cast<double>(gain_to) - gain_from) / frames : 0.0;
  const bool steady = gain_from == gain_to;
  for (std::uint32_t done = 0; done < frames;) {
    if (used_ == orchestra_period) next_period(generation);
    const auto count = std::min<std::uint32_t>(frames - done, orchestra_period - used_);
    for (std::uint32_t i = 0; i < count; ++i, ++done, ++used_) {
      const double gain = steady ? gain_from : gain_from + step * done;
      left[done] = static_cast<float>(left_[used_] * gain);
      right[done] = static_cast<float>(right_[used_] * gain);
    }
  }
}
