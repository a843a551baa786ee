// Live play: the render paced by csound's own clock, each iteration's notes
// handed to csound in this process as they are made, played on the audio
// device. csound belongs to a thread of its own, which inserts the queued
// notes between its control periods: the engine never waits for it.
// Iteration t sounds at the offline score's start time of t, counted from
// the moment play began.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/render/render.h"

// How far ahead of csound's clock notes are computed and sent.
constexpr double live_look_ahead = 0.03;

// status() of a play the audio device ended (its server gone, say).
constexpr int live_device_lost = -3;

// The JACK client's name and its output ports' prefix (channel_1, ...).
constexpr const char* live_jack_client = "zelmora";
constexpr const char* live_jack_port_prefix = "channel_";

struct live_settings {
  std::string orchestra;        // empty: the one find_orchestra() finds
  std::string rtaudio;         // csound's -+rtaudio module; empty: its default
  std::FILE* score = nullptr;  // also gets the score of exactly the notes sent
  bool connect = true;         // JACK: ports to the first playback ports
};

// The module the user's environment asks for: $ZELMORA_RTAUDIO, else empty.
std::string live_rtaudio_from_environment();

// The audio modules this csound has (empty when its library is missing).
std::vector<std::string> live_audio_modules();

// One live play at a time of an engine, owned by the program that plays
// it. The engine stays on the caller's thread, which calls feed() often (a
// timer); csound runs on a thread of its own.
struct live_session;
class live_player {
 public:
  explicit live_player(engine& e = default_engine());
  ~live_player();  // stops a play still running
  live_player(const live_player&) = delete;
  live_player& operator=(const live_player&) = delete;

  // Loads csound's library, compiles the orchestra, opens the audio output
  // at the device's own sample rate and starts a render. An audio module
  // this csound lacks is refused with the list of those it has. 0 on
  // success; -1 (reported) with nothing left running.
  int start(const live_settings& settings);

  // Computes and sends every iteration due within the look-ahead. True
  // while playing; false once the render is over and its last notes have
  // sounded (csound is then stopped) or play was never started.
  bool feed();

  // Fades the sound out and ends csound, within the look-ahead; nothing is
  // left running (a csound stuck in a dead audio device is left to
  // itself). Harmless when nothing plays.
  void stop();

  bool playing() const { return session_ != nullptr; }
  int late_iterations() const { return late_; }  // computed after their start time
  int status() const { return status_; }  // a render_* status of the render played last
  double clock() const;                   // seconds of play so far
  // Of the play that ended last: CPU seconds of csound's thread (note
  // insertion and synthesis), seconds of sound played, and the wall-clock
  // seconds they took (more than the sound's when csound fell behind the
  // device, which then played silence).
  double csound_cpu() const { return cpu_; }
  double played() const { return played_; }
  double wall_time() const { return wall_; }

 private:
  bool start_session(const live_settings& settings);
  void compute_iteration(double now);
  void end_session();

  engine& engine_;
  std::shared_ptr<live_session> session_;
  int late_ = 0;
  int status_ = render_complete;
  double cpu_ = 0.0;
  double played_ = 0.0;
  double wall_ = 0.0;
};
