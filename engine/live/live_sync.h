// Live play in step with a tempo and transport from outside (JACK's
// transport, or MIDI clock): iterations start on a grid of grain_beats
// grains a beat while the transport rolls, none while it stands. The audio
// side decides each start to the sample, a cycle ahead, and hands it to the
// engine's thread, which computes the iteration for it. Real-time safe:
// nothing here allocates, locks or blocks.
#pragma once

#include <cstdint>

// One iteration's start, decided by the audio side: when on csound's clock,
// and the tempo it starts at (its grains last a grid step of it).
struct sync_start {
  double time = 0.0;
  double bpm = 0.0;
};

// Why no iteration starts (or that they do), as the front end tells it.
enum sync_wait : int { sync_rolling, sync_stopped, sync_no_tempo, sync_tempo_unfit };

// The transport as one cycle begins.
struct transport_view {
  bool rolling = false;
  bool has_tempo = false;  // a timebase master (or a clock) gives the tempo
  bool jumped = false;     // located elsewhere since the last cycle
  double bpm = 0.0;
  double beat = 0.0;  // beats from the start of the song, fractional
};

// Where the grid's grains fall within each cycle, carried from one to the
// next in fractional frames so that the grid does not drift. A tempo change
// reaches the grain that starts after it.
class beat_follower {
 public:
  beat_follower(int grain_beats, double rate) : grain_beats_(grain_beats), rate_(rate) {}

  // The cycle of `frames` that begins with `t`: calls start(offset, bpm)
  // for every grain that starts in it, `offset` in frames from its start.
  template <typename Start>
  void cycle(const transport_view& t, std::uint32_t frames, Start&& start) {
    state_ = wait_of(t);
    if (state_ != sync_rolling) {
      anchored_ = false;
      return;
    }
    if (!anchored_ || t.jumped) anchor(t);
    while (next_ < frames) {
      start(next_, t.bpm);
      next_ += grain_frames_at(t.bpm);
    }
    next_ -= frames;
  }
  sync_wait state() const { return state_; }

 private:
  sync_wait wait_of(const transport_view& t) const;
  void anchor(const transport_view& t);
  double grain_frames_at(double bpm) const;

  int grain_beats_;
  double rate_;
  bool anchored_ = false;
  double next_ = 0.0;  // frames from the cycle's start to the next grain
  sync_wait state_ = sync_stopped;
};

// The front end's line for a wait, null for none.
const char* sync_wait_message(sync_wait w, bool by_midi_clock);
