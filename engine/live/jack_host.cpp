#include "engine/live/jack_host.h"

#include <jack/midiport.h>
#include <jack/thread.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/interrupt.h"
#include "platform/real_time_section.h"

namespace {

constexpr const char* port_names[2] = {"channel_1", "channel_2"};
constexpr const char* clock_port_name = "clock_in";
// A server that ran no cycle for this long is stopped (or stalled): asking
// it anything would wait until it runs again.
constexpr double stalled_after = 0.5;
// How long a freewheeling server's cycle waits at a time for the engine.
constexpr std::chrono::milliseconds freewheel_wait{20};

// The process thread's real-time priority when the server gives it none.
constexpr int own_priority = 20;

void quiet(const char*) {}

// libjack's own lines about a missing server would run into the program's
// one-line message.
void silence_libjack() {
  jack_set_error_function(quiet);
  jack_set_info_function(quiet);
}

}  // namespace

jack_host::pointer jack_host::open(const std::string& name, bool connect, std::string& why) {
  silence_libjack();
  // libjack's threads write to the server and leave the program's signals
  // to its main thread.
  const broken_pipe_guard quiet_pipes;
  const interrupt_guard no_signals;
  jack_status_t status{};
  jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (!client) {
    // A server that runs but whose client could not be set up here (a
    // limit on the process's memory, say) is not "no server".
    why = (status & JackServerFailed) != 0 ? "no JACK server running"
          : (status & JackInitFailure) != 0 ? "JACK could not set up a client here (out of memory?)"
                                            : "the JACK server refused zelmora's client";
    return nullptr;
  }
  pointer h(new jack_host);
  h->client_ = client;
  h->asked_ = name;
  h->name_ = jack_get_client_name(client);
  h->rate_ = jack_get_sample_rate(client);
  h->period_.store(jack_get_buffer_size(client));
  for (int c = 0; c < 2; ++c)
    h->ports_[c] = jack_port_register(client, port_names[c], JACK_DEFAULT_AUDIO_TYPE,
                                      JackPortIsOutput | JackPortIsTerminal, 0);
  jack_set_process_callback(client, process, h.get());
  jack_on_info_shutdown(client, shut_down, h.get());
  jack_set_xrun_callback(client, count_xrun, h.get());
  jack_set_freewheel_callback(client, freewheel, h.get());
  jack_set_buffer_size_callback(client, buffer_size, h.get());
  jack_set_latency_callback(client, latency, h.get());
  h->last_cycle_ns_.store(live_now_ns());
  if (!h->ports_[0] || !h->ports_[1] || jack_activate(client) != 0) {
    why = "the JACK server refused zelmora's client";
    return nullptr;
  }
  if (connect) h->connect_to_playback();
  // A server without real-time threads leaves its clients' to them.
  if (jack_client_real_time_priority(client) < 0)
    jack_acquire_real_time_scheduling(jack_client_thread_id(client), own_priority);
  return h;
}

// A server gone is asked nothing but to let the client go.
void jack_host::closer::operator()(jack_host* h) const {
  h->detach();
  const double silent = static_cast<double>(live_now_ns() - h->last_cycle_ns_.load()) * 1e-9;
  if (h->alive() && silent > stalled_after) return;
  {
    const broken_pipe_guard quiet_pipes;
    jack_client_close(h->client_);
  }
  delete h;
}

int jack_host::priority() const {
  const int server = jack_client_real_time_priority(client_);
  return server > 0 ? server : own_priority;
}

void jack_host::connect_to_playback() {
  const char** playback =
      jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
  if (!playback) return;
  if (playback[0]) {
    jack_connect(client_, jack_port_name(ports_[0]), playback[0]);
    jack_connect(client_, jack_port_name(ports_[1]), playback[1] ? playback[1] : playback[0]);
  }
  jack_free(playback);
}

void jack_host::attach(live_session& s, int latency) {
  detach();
  own_latency_.store(latency);
  jack_recompute_total_latencies(client_);
  source_ = live_block_source{};
  follower_ = beat_follower(s.grain_beats, rate_);
  clock_ = midi_clock(rate_);
  if (s.by_midi_clock && !clock_port_.load())
    clock_port_.store(jack_port_register(client_, clock_port_name, JACK_DEFAULT_MIDI_TYPE,
                                         JackPortIsInput | JackPortIsTerminal, 0));
  midi_input_clock().listen(s.by_midi_clock);
  session_.store(&s);
}

void jack_host::detach() {
  session_.store(nullptr);
  while (busy_.load()) std::this_thread::sleep_for(std::chrono::microseconds(200));
  midi_input_clock().listen(false);
}

int jack_host::process(jack_nframes_t frames, void* self) {
  const real_time_section keeping_time;
  auto& h = *static_cast<jack_host*>(self);
  const std::int64_t now = live_now_ns();
  const std::int64_t previous = h.last_cycle_ns_.exchange(now, std::memory_order_relaxed);
  auto* left = static_cast<float*>(jack_port_get_buffer(h.ports_[0], frames));
  auto* right = static_cast<float*>(jack_port_get_buffer(h.ports_[1], frames));
  h.count_missed_cycles(frames, now - previous);
  h.busy_.store(true);
  live_session* s = h.session_.load();
  if (!s) {
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
  } else {
    if (s->synced) h.follow_transport(*s, frames);
    if (h.freewheeling_.load(std::memory_order_relaxed)) h.wait_for_notes(*s, frames);
    h.source_.render(*s, left, right, frames);
    wake_engine_if_due(*s);
  }
  h.busy_.store(false);
  return 0;
}

// A freewheeling server runs as fast as zelmora can go: each cycle waits
// until the engine has computed the notes it plays, so that the render is
// played whole and none of it late.
void jack_host::wait_for_notes(live_session& s, std::uint32_t frames) {
  const double needed = s.clock.load() + frames / rate_;
  const auto behind = [&] {
    return s.synced ? s.starts.size() > 0 : s.computed_end.load() < needed;
  };
  while (s.computing.load() && !s.stop.load() && behind() && freewheeling_.load()) {
    s.engine_wake.post();
    s.audio_wake.wait_for(freewheel_wait);
  }
}

// The grains of the transport's grid that start in this cycle, played a
// cycle late (the ports report it) so that the engine's thread has the cycle
// to compute them in.
void jack_host::follow_transport(live_session& s, std::uint32_t frames) {
  const double ahead = source_.next_frame_time(s, rate_) + frames / rate_;
  bool handed = false;
  const transport_view now = s.by_midi_clock ? read_clock(frames) : read_transport(frames);
  follower_.cycle(now, frames, [&](double offset, double bpm) {
    handed = s.starts.push({ahead + offset / rate_, bpm}) || handed;
  });
  s.sync_state.store(follower_.state(), std::memory_order_relaxed);
  if (handed) s.engine_wake.post();
}

// jack_transport_query() is made for the process callback: it neither
// locks nor waits.
transport_view jack_host::read_transport(std::uint32_t frames) {
  jack_position_t pos{};
  const jack_transport_state_t state = jack_transport_query(client_, &pos);
  transport_view t;
  t.rolling = state == JackTransportRolling;
  t.has_tempo = (pos.valid & JackPositionBBT) != 0 && pos.ticks_per_beat > 0 && pos.bar >= 1;
  t.bpm = pos.beats_per_minute;
  if (t.has_tempo)
    t.beat = (pos.bar - 1) * static_cast<double>(pos.beats_per_bar) + (pos.beat - 1) +
             pos.tick / pos.ticks_per_beat;
  t.jumped = pos.frame != transport_frame_;
  transport_frame_ = pos.frame + (t.rolling ? frames : 0);
  return t;
}

// The cycle's clock messages first: a clock that comes in it may start a
// grain in it, the transport then standing a little before it. The MIDI
// input's come timed on the steady clock, which is JACK's own but for
// its unit and where it counts from.
transport_view jack_host::read_clock(std::uint32_t frames) {
  const jack_nframes_t start = jack_last_frame_time(client_);
  const auto jack_us_from_ns = static_cast<std::int64_t>(jack_get_time()) - live_now_ns() / 1000;
  for (timed_midi m; midi_input_clock().take(m);)
    clock_.take(m.bytes.data(), m.bytes.size(),
                jack_time_to_frames(client_, static_cast<jack_time_t>(m.ns / 1000 + jack_us_from_ns)));
  if (jack_port_t* port = clock_port_.load()) {
    void* events = jack_port_get_buffer(port, frames);
    const std::uint32_t count = jack_midi_get_event_count(events);
    for (std::uint32_t i = 0; i < count; ++i) {
      jack_midi_event_t event{};
      if (jack_midi_event_get(&event, events, i) == 0)
        clock_.take(event.buffer, event.size, start + event.time);
    }
  }
  return clock_.at(start);
}

// Cycles that passed without the callback (the client was too slow, or the
// server stalled) show as a gap in JACK's frame clock, or, where the
// server's clock went on as if nothing happened (a stopped server whose
// driver keeps no wall time), as a wait of whole periods since the last.
void jack_host::count_missed_cycles(std::uint32_t frames, std::int64_t since_last_ns) {
  const double periods_waited = static_cast<double>(since_last_ns) * 1e-9 * rate_ / frames;
  if (counting_ && periods_waited >= 2 && !freewheeling_.load(std::memory_order_relaxed))
    stalled_.fetch_add(static_cast<int>(periods_waited) - 1, std::memory_order_relaxed);
  const jack_nframes_t start = jack_last_frame_time(client_);
  // The clock wraps, and after an xrun it can start a cycle a little early:
  // the gap is signed, and one that is none counts once.
  const auto gap = static_cast<std::int32_t>(start - next_frame_);
  if (counting_ && gap != 0 && !freewheeling_.load(std::memory_order_relaxed))
    missed_.fetch_add(std::max<std::int32_t>(1, gap / static_cast<std::int32_t>(frames)),
                      std::memory_order_relaxed);
  next_frame_ = start + frames;
  counting_ = true;
}

void jack_host::shut_down(jack_status_t, const char*, void* self) {
  auto& h = *static_cast<jack_host*>(self);
  h.alive_.store(false);
  if (live_session* s = h.session_.load()) {
    s->device_lost.store(true);
    s->engine_wake.post();
  }
}

int jack_host::count_xrun(void* self) {
  static_cast<jack_host*>(self)->xruns_.fetch_add(1);
  return 0;
}

void jack_host::freewheel(int starting, void* self) {
  auto& h = *static_cast<jack_host*>(self);
  h.freewheeling_.store(starting != 0);
  h.counting_ = false;
}

int jack_host::buffer_size(jack_nframes_t frames, void* self) {
  static_cast<jack_host*>(self)->period_.store(frames);
  return 0;
}

// The ports' sound comes this many frames after what made it: reported as
// their capture latency, as a source's is.
void jack_host::latency(jack_latency_callback_mode_t mode, void* self) {
  auto& h = *static_cast<jack_host*>(self);
  if (mode != JackCaptureLatency) return;
  const auto own = static_cast<jack_nframes_t>(h.own_latency_.load());
  jack_latency_range_t range{own, own};
  for (jack_port_t* port : h.ports_) jack_port_set_latency_range(port, JackCaptureLatency, &range);
}
