// One live play's shared state. Three sides meet here: the engine's thread
// computes each iteration's notes and queues them (live_schedule.h); the
// audio side (zelmora's JACK client, or a performer thread for csound's own
// audio module) inserts them into csound between its control periods and
// moves csound's clock on (live_audio.h); the front end watches and stops.
// They share only atomics, lock-free rings, two wake-ups and csound's
// messages.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "dsp/grain_inbox.h"
#include "dsp/note_queue.h"
#include "engine/live/csound_api.h"
#include "engine/live/live_sync.h"
#include "engine/render/iteration.h"
#include "engine/render/render.h"
#include "platform/wakeup.h"

// csound's messages, the last few kilobytes, kept to explain a failure.
// csound says them on whichever thread it runs, the audio thread too: a
// message that finds the buffer busy is dropped rather than waited for.
class live_messages {
 public:
  // The message callback of a csound whose host data is a live_messages.
  static void keep(CSOUND* csound, int attributes, const char* format, va_list args);
  std::string text() const;
  // The last `count` lines, each ending in a newline.
  std::string last_lines(int count) const;

 private:
  void add(const char* text);
  static constexpr std::size_t size = 8192;
  mutable std::mutex lock_;
  char text_[size] = {};
  std::size_t length_ = 0;
};

struct live_session final : iteration_sink {
  explicit live_session(const csound_api& csound_api) : api(csound_api) {}

  const csound_api& api;
  CSOUND* csound = nullptr;
  live_messages messages;  // csound's host data: lives as long as csound

  // The notes on their way to csound (their start on csound's clock), and
  // the grain design when the played engine's changes.
  live_note_queue queue;
  grain_inbox* inbox = nullptr;  // the voices' opcode's, when the orchestra has it
  spsc_ring<grain_design, 8> designs;

  // csound's output as a host takes it: ksmps frames of `channels`.
  int ksmps = 0;
  int channels = 0;
  double full_scale = 1.0;

  // The audio side's.
  std::atomic<double> clock{0.0};  // csound's time after its last control period
  std::atomic<double> gain{1.0};   // 0: fade out
  double gain_set = 1.0;           // what the fade instrument was last given
  std::atomic<bool> failed{false};  // csound's performance ended by itself
  std::atomic<bool> device_lost{false};  // the audio server went away
  std::atomic<int> dropouts{0};     // periods the device played without us
  std::atomic<std::int64_t> heartbeat{0};  // steady-clock ns of the last period
  std::atomic<double> cpu{0.0};     // CPU seconds the performing thread used

  // The engine's.
  std::atomic<double> due_at{0.0};  // csound's time at which the next iteration is due
  std::atomic<bool> computing{false};  // iterations are left to compute
  std::atomic<double> computed_end{0.0};  // csound's time where the notes sent end
  std::atomic<int> last_iteration{-1};  // the last computed
  std::atomic<int> late{0};         // computed after their start time
  std::atomic<bool> stop{false};    // the front end asks the engine to stop
  wakeup engine_wake;  // the clock moved on, a control came, or stop
  wakeup audio_wake;   // notes were queued (what a freewheeling server waits for)
  std::chrono::steady_clock::time_point began = std::chrono::steady_clock::now();

  // Following a tempo and transport from outside (live_sync.h): the audio
  // side decides when each iteration starts and hands the starts over.
  bool synced = false;
  bool by_midi_clock = false;  // else JACK's transport
  int grain_beats = 0;
  spsc_ring<sync_start, 256> starts;
  std::atomic<int> sync_state{-1};  // a sync_wait, -1 before the first cycle
  unsigned waits_said = 0;  // the front end's: a bit for each sync_wait told
  double start_now = 0.0;  // the start of the iteration computed now (engine's)

  // Queues the iteration's notes for the audio side (engine's thread).
  void on_iteration(const iteration& it) override;
  const grain_design* design = nullptr;  // the played engine's
  grain_design design_sent;
  double origin = 0.0;         // csound's time of iteration 0
  std::FILE* score = nullptr;  // also gets the notes sent

 private:
  void send(std::span<const note> notes);
};

// Steady-clock nanoseconds, for heartbeats.
std::int64_t live_now_ns();
