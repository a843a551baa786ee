// The audio side of a live play: csound's control periods with the queued
// notes handed in before each. A host (zelmora's JACK client) takes the
// samples a block at a time from its process callback; csound's own audio
// module is driven by a performer thread instead. Nothing here allocates,
// locks or blocks, except csound's module writing to its device.
#pragma once

#include <cstdint>
#include <memory>
#include <thread>

#include "engine/live/live_session.h"

// One control period: the notes and the grain design waiting go in, the
// gain follows the fade, csound performs and its clock moves on. False
// when csound's performance ended (failed is then set).
bool perform_period(live_session& s);

// After a period: the engine's thread wakes once the next iteration is due.
void wake_engine_if_due(live_session& s);

// A host's block of `frames` samples a channel, from as many control
// periods as it takes (one begun in a block is finished in the next). A
// one-channel orchestra sounds on both. Silence once csound has failed.
class live_block_source {
 public:
  void render(live_session& s, float* left, float* right, std::uint32_t frames);
  // csound's time of the next frame render() gives, at `rate` frames a second.
  double next_frame_time(const live_session& s, double rate) const {
    return s.clock.load(std::memory_order_relaxed) - (begun_ ? s.ksmps - used_ : 0) / rate;
  }

 private:
  int used_ = 0;  // frames of csound's current period already taken
  bool begun_ = false;
};

// csound's own audio module, driven by a thread of its own that csound
// blocks while the device has no room.
class live_performer {
 public:
  explicit live_performer(std::shared_ptr<live_session> s);
  // Stops the thread. One stuck in a dead device, or in a csound its module
  // left broken, is left with its session (and csound) as they are: false.
  bool stop();
  ~live_performer();
  live_performer(const live_performer&) = delete;
  live_performer& operator=(const live_performer&) = delete;

  // Its heartbeat is older than `seconds`: stuck in the device.
  bool quiet_for(double seconds) const;

 private:
  std::shared_ptr<live_session> session_;
  std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
  std::shared_ptr<std::atomic<int>> state_ = std::make_shared<std::atomic<int>>(0);
  std::thread thread_;
};

// The play a signal that ends the program fades out first (nullptr: none).
void set_live_signal_fade(live_session* s);

// Raises the calling thread to real-time scheduling at `priority` when
// the system allows it; quietly stays as it is otherwise.
void try_real_time(int priority);
