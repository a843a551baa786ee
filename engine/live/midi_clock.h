// MIDI clock as a transport: 24 clocks a quarter note, Start (0xFA), Stop
// (0xFC), Continue (0xFB) and Song Position (0xF2, sixteenths from the
// song's start), each taken with the frame it came at. The tempo is the
// clocks' mean spacing over the last beat, so that a source that jitters
// still gives a steady grid and a change is followed within a beat.
// Real-time safe: nothing allocates, locks or blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine/live/live_sync.h"

class midi_clock {
 public:
  explicit midi_clock(double rate) : rate_(rate) {}

  // One message that came at `frame` (JACK's frame clock).
  void take(const unsigned char* bytes, std::size_t size, std::uint32_t frame);
  // The transport as it stands at `frame` (at most a cycle before the last
  // message taken): where the song is, extrapolated from the last clock.
  transport_view at(std::uint32_t frame);

 private:
  void tick(std::uint32_t frame);
  double mean_spacing() const;  // frames between clocks

  static constexpr std::size_t kept = 25;  // a beat's spacings
  double rate_;
  bool running_ = false;
  bool waiting_ = false;   // started or continued: rolling from the next clock
  bool jumped_ = false;
  long position_ = -1;     // clocks from the song's start, of the last clock
  std::array<std::uint32_t, kept> times_{};  // frames of the latest clocks
  std::size_t seen_ = 0;
};
