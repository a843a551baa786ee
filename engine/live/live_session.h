// One live play's csound: a performer thread of its own calls csound, which
// takes the queued notes between its control periods, while the engine's
// thread computes the notes and queues them. The two share only atomics,
// the lock-free note queue and csound's messages under their lock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "dsp/grain_inbox.h"
#include "dsp/note_queue.h"
#include "engine/live/csound_api.h"
#include "engine/render/iteration.h"
#include "engine/render/render.h"

// csound's messages, the last few kilobytes, kept to explain a failure;
// csound says them on whichever thread it runs.
class live_messages {
 public:
  // The message callback of a csound whose host data is a live_messages.
  static void keep(CSOUND* csound, int attributes, const char* format, va_list args);
  void clear();
  std::string text() const;
  // The last `count` lines, each ending in a newline.
  std::string last_lines(int count) const;

 private:
  mutable std::mutex lock_;
  std::string text_;
};

// The wall-clock limit on waiting for csound to end or fade out.
constexpr double live_stop_wait = 0.5;

struct live_session final : iteration_sink {
  explicit live_session(const csound_api& csound_api) : api(csound_api) {}

  const csound_api& api;
  CSOUND* csound = nullptr;
  live_messages messages;  // csound's host data
  std::thread performer;
  std::atomic<bool> stop{false};
  std::atomic<bool> ended{false};     // the performer thread has returned
  std::atomic<bool> failed{false};    // csound's performance ended by itself
  std::atomic<double> clock{0.0};     // csound's score time after its last cycle
  std::atomic<double> gain{1.0};      // 0: fade out
  std::atomic<std::int64_t> heartbeat{0};  // steady-clock ns of the last cycle
  std::atomic<double> cpu{0.0};       // CPU seconds the performer thread used
  std::chrono::steady_clock::time_point began = std::chrono::steady_clock::now();
  live_note_queue queue;
  grain_inbox* inbox = nullptr;  // the voices' opcode's, when the orchestra has it
  // The grain design on its way to the voices, when the played engine's
  // changes.
  const grain_design* design = nullptr;
  spsc_ring<grain_design, 8> designs;
  grain_design design_sent;
  render_run run;
  double origin = 0.0;  // csound's time of iteration 0
  bool computing = false;
  std::FILE* score = nullptr;  // also gets the notes sent

  // Queues the iteration's notes for the performer, on csound's clock.
  void on_iteration(const iteration& it) override;

  // A performer that has not finished a control period for a while is
  // stuck in an audio device that no longer takes sound.
  bool performer_gone_quiet() const;
};

// Starts the performer thread; it holds the session too, so that one left
// running in a dead device stays valid for it.
void start_performer(const std::shared_ptr<live_session>& s);

// Ends the performer and csound: the CPU seconds the performer used. A
// performer stuck in a dead audio device is left where it is, with its
// session (nullopt).
std::optional<double> end_performer(live_session& s);
