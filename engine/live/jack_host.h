// zelmora's own JACK client: two output ports that csound plays into from
// the client's process callback, a control period at a time (no ring
// between csound and the server, no audio module of csound's). The client
// lives as long as its owner keeps it, across plays, so that the ports and
// the connections made to them stay; between plays it plays silence.
//
// libjack frees every client of a process when, the server gone, the next
// client is opened: a client is closed before another is opened, and none
// is ever used after its server went away but to close it.
#pragma once

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/live/live_audio.h"
#include "engine/live/live_session.h"
#include "engine/live/live_sync.h"
#include "engine/live/midi_clock.h"
#include "engine/mapping/beat_grid.h"

class jack_host {
 public:
  // Closes the client. One whose server is stalled would keep the program
  // waiting: it is left, with all its callbacks may reach, to the end of
  // the process.
  struct closer {
    void operator()(jack_host* h) const;
  };
  using pointer = std::unique_ptr<jack_host, closer>;

  // The client `name` (a name in use gets JACK's own suffix, "-01"), its
  // ports channel_1 and channel_2 connected to the first two playback
  // ports if `connect`. Null when no server runs (`why` says so); never
  // starts one.
  static pointer open(const std::string& name, bool connect, std::string& why);
  jack_host(const jack_host&) = delete;
  jack_host& operator=(const jack_host&) = delete;

  const std::string& name() const { return name_; }
  const std::string& asked_name() const { return asked_; }
  double rate() const { return rate_; }
  // The server's period in frames, as it is now.
  std::uint32_t period() const { return period_.load(); }
  // False once the server has gone away (or shut the client out).
  bool alive() const { return alive_.load(); }
  // Dropouts so far: cycles missing from JACK's frame clock as the callback
  // saw it, or periods its wall-clock waits skipped, or the server's xruns,
  // whichever were most.
  int dropouts() const { return std::max({xruns_.load(), missed_.load(), stalled_.load()}); }
  bool freewheeling() const { return freewheeling_.load(); }
  // The real-time priority of the process thread, 0 when it has none.
  int priority() const;

  // Plays `s` from the next period on, `latency` frames of its own added
  // to what the ports report downstream. Synced to MIDI clock, the client
  // gets its port clock_in (kept, as the others are).
  void attach(live_session& s, int latency);
  // Stops playing it: once this returns, the callback no longer touches it.
  void detach();

 private:
  jack_host() = default;
  ~jack_host() = default;
  static int process(jack_nframes_t frames, void* self);
  static void shut_down(jack_status_t, const char*, void* self);
  static int count_xrun(void* self);
  static void freewheel(int starting, void* self);
  static int buffer_size(jack_nframes_t frames, void* self);
  static void latency(jack_latency_callback_mode_t mode, void* self);
  void wait_for_notes(live_session& s, std::uint32_t frames);
  void count_missed_cycles(std::uint32_t frames, std::int64_t since_last_ns);
  void connect_to_playback();
  void follow_transport(live_session& s, std::uint32_t frames);
  transport_view read_transport(std::uint32_t frames);
  transport_view read_clock(std::uint32_t frames);

  jack_client_t* client_ = nullptr;
  jack_port_t* ports_[2] = {nullptr, nullptr};
  std::string name_, asked_;
  double rate_ = 0;
  std::atomic<std::uint32_t> period_{0};
  std::atomic<bool> alive_{true};
  std::atomic<bool> freewheeling_{false};
  std::atomic<int> xruns_{0};
  std::atomic<int> missed_{0};   // by JACK's frame clock
  std::atomic<int> stalled_{0};  // by the wall clock
  std::atomic<int> own_latency_{0};
  std::atomic<std::int64_t> last_cycle_ns_{0};
  jack_nframes_t next_frame_ = 0;  // where the next cycle should start
  bool counting_ = false;
  // The play the callback renders, and whether it is inside it now.
  std::atomic<live_session*> session_{nullptr};
  std::atomic<bool> busy_{false};
  live_block_source source_;
  beat_follower follower_{default_grain_beats, 1.0};
  jack_nframes_t transport_frame_ = 0;  // where the transport should be next cycle
  // MIDI clock's port, made when first played by it; the clock it gives.
  std::atomic<jack_port_t*> clock_port_{nullptr};
  midi_clock clock_{1.0};
};
