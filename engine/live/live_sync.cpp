#include "engine/live/live_sync.h"

#include <algorithm>
#include <cmath>

#include "engine/mapping/beat_grid.h"

sync_wait beat_follower::wait_of(const transport_view& t) const {
  if (!t.has_tempo) return sync_no_tempo;
  if (!beat_grid_fits(t.bpm, grain_beats_)) return sync_tempo_unfit;
  return t.rolling ? sync_rolling : sync_stopped;
}

// The first grain on the grid at or after where the transport is.
void beat_follower::anchor(const transport_view& t) {
  const double grain = std::ceil(t.beat * grain_beats_ - 1e-6);
  next_ = std::max(0.0, (grain / grain_beats_ - t.beat) * seconds_per_minute / t.bpm * rate_);
  anchored_ = true;
}

double beat_follower::grain_frames_at(double bpm) const {
  return grain_frames(bpm, grain_beats_, rate_);
}

const char* sync_wait_message(sync_wait w, bool by_midi_clock) {
  switch (w) {
    case sync_no_tempo:
      return by_midi_clock
                 ? "Live play waits for MIDI clock (into the port clock_in or the MIDI input)\n"
                 : "Live play waits for a JACK timebase master to give the tempo\n";
    case sync_tempo_unfit:
      return "Live play waits: the tempo gives grains outside 0.001 ... 10 s\n";
    case sync_stopped:
      return by_midi_clock ? "Live play waits for MIDI Start or Continue\n"
                           : "Live play waits for the JACK transport to start\n";
    case sync_rolling:
      break;
  }
  return nullptr;
}
