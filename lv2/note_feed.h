// run()'s side of an instance: the voices and the Master (the player
// csound's opcode plays too), fed from the worker's rings as the notes come
// due, a control period at a time; the host's blocks take the periods'
// samples in whatever sizes they come. Nothing here allocates, locks or
// waits, except reset().
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "dsp/grain_player.h"
#include "lv2/requests.h"

// zelmora.orc's ksmps: the voices time their notes by its periods, so the
// plugin keeps them to sound as csound does.
constexpr int orchestra_period = 32;

class note_feed {
 public:
  note_feed(double rate, feed_ring& notes, design_ring& designs);

  // Silence, and the clock back at 0. Allocates the voices' pool.
  void reset();

  // The next `frames` samples into the outputs, scaled by a gain that
  // moves from `gain_from` to `gain_to` across them. Notes of any other
  // generation than `generation` are dropped.
  void render(float* left, float* right, std::uint32_t frames, std::uint32_t generation,
              float gain_from, float gain_to);

  // The voices' clock at the next sample handed out (seconds).
  double now() const;
  double period_seconds() const { return orchestra_period / rate_; }
  int latency_frames() const { return player_->latency_frames(); }

 private:
  void next_period(std::uint32_t generation);
  void take_due(std::uint32_t generation);

  double rate_;
  feed_ring& notes_;
  design_ring& designs_;
  std::optional<grain_player> player_;
  std::array<double, orchestra_period> left_{}, right_{};
  int used_ = orchestra_period;  // of the period in left_ and right_
  feed_item waiting_;            // popped, not due yet
  bool has_waiting_ = false;
};
