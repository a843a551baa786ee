// Live play: the render played as it is computed, each iteration's notes
// computed just in time on a thread of the engine's own and played by csound
// in this process. On JACK, csound runs inside zelmora's own client, a
// control period at a time from its process callback; otherwise through
// csound's audio module (PulseAudio, ALSA, ...). Iteration t sounds at the
// offline score's start time of t, counted from the moment play began.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/render/render.h"

// status() of a play the audio device ended (its server gone, say).
constexpr int live_device_lost = -3;

// The JACK client's name and its output ports' prefix (channel_1, ...).
constexpr const char* live_jack_client = "zelmora";
constexpr const char* live_jack_port_prefix = "channel_";

// The engine thread's real-time priority when the audio server runs none.
constexpr int live_engine_priority = 10;

// The audio output tried first to last when none is named: a running JACK
// server, then PulseAudio (PipeWire's too), then ALSA.
constexpr const char* live_automatic_outputs[] = {"jack", "pulse", "alsa"};

// What live play keeps time by: its own clock, or a tempo and transport
// from outside (live_sync.h).
enum class live_sync { none, jack, midi };

struct live_settings {
  std::string orchestra;       // empty: the one find_orchestra() finds
  std::string rtaudio;         // "jack", or csound's audio module; empty: automatic
  std::FILE* score = nullptr;  // also gets the score of exactly the notes sent
  bool connect = true;         // JACK: ports to the first playback ports
  std::string client_name = live_jack_client;  // JACK: a session's client id
  // Play on until stopped, whatever the set's iteration count (which ends
  // renders, and live play unless this is asked).
  bool until_stopped = false;
  // The engine's lock, when another thread (the windows') uses the engine
  // too: the engine's thread holds it while it computes an iteration.
  std::recursive_timed_mutex* engine_lock = nullptr;
  // Called on the engine's thread, the lock held, whenever it wakes before
  // computing: a program applies the controls that came meanwhile.
  std::function<void()> on_wake;
  live_sync sync = live_sync::none;  // anything but none plays on JACK only
  int grain_beats = 4;  // synced: grains a beat
};

// The module the user's environment asks for: $ZELMORA_RTAUDIO, else empty.
std::string live_rtaudio_from_environment();

// The audio outputs live play has: jack and csound's audio modules (only
// jack when csound's library is missing).
std::vector<std::string> live_audio_modules();

// One live play at a time of an engine, owned by the program that plays
// it. Its JACK client, once opened, stays until the player goes (or another
// output is chosen), so that its ports and their connections outlive each
// play. start(), update() and stop() are the front end's (with the engine
// lock held, if there is one).
struct live_session;
struct live_run;
struct live_schedule_settings;
class jack_host;
class live_player {
 public:
  explicit live_player(engine& e = default_engine());
  ~live_player();  // stops a play still running, closes the JACK client
  live_player(const live_player&) = delete;
  live_player& operator=(const live_player&) = delete;

  // Opens the audio output (the one named, else the first that works),
  // sets csound up with the orchestra and starts the render. 0 on success;
  // -1 (reported in one line, naming what was tried) with nothing left
  // running.
  int start(const live_settings& settings);

  // How play goes, to be asked often: true while playing; false once the
  // render has sounded to its end, or the device went away (both reported
  // and ended), or play was never started.
  bool update();

  // Fades the sound out and ends play within a tenth of a second; nothing
  // is left running (a csound stuck in a dead audio module is left to
  // itself). Harmless when nothing plays.
  void stop();

  // The engine's thread wakes now: a control came.
  void wake();

  bool playing() const { return run_ != nullptr; }
  int late_iterations() const;  // computed after their start time
  int dropouts() const;         // periods the device played without the sound
  int iteration() const;        // the last computed, -1 before the first
  int status() const { return status_; }  // a render_* status of the play that ended last
  double clock() const;                   // seconds of play so far
  // What plays (JACK's client name, or csound's module), empty before.
  const std::string& output() const { return output_; }
  // Of the play that ended last: CPU seconds the audio side used, seconds
  // of sound played, and the wall-clock seconds they took.
  double csound_cpu() const { return cpu_; }
  double played() const { return played_; }
  double wall_time() const { return wall_; }

 private:
  struct jack_closer {
    void operator()(jack_host* h) const;
  };
  bool open_output(const live_settings& settings, live_session& s);
  bool open_jack(const live_settings& settings, std::string& why);
  void begin(live_run& run, const live_settings& settings);
  live_schedule_settings schedule_for(const live_settings& settings) const;
  void end(int status);
  void tell_sync_wait(live_session& s);

  engine& engine_;
  std::unique_ptr<jack_host, jack_closer> jack_;
  std::unique_ptr<live_run> run_;
  std::string output_;
  int status_ = render_complete;
  int late_ = 0;
  int dropouts_ = 0;
  double cpu_ = 0.0;
  double played_ = 0.0;
  double wall_ = 0.0;
};
