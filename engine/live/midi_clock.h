// MIDI clock as a transport: 24 clocks a quarter note, Start (0xFA), Stop
// (0xFC), Continue (0xFB) and Song Position (0xF2, sixteenths from the
// song's start), each taken with the frame it came at. The tempo is the
// clocks' spacing fitted over the last two beats, so that a source that jitters
// (or an input that times them a period at a time) still gives a steady grid,
// and a change is followed within two beats.
// Real-time safe: nothing allocates, locks or blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "dsp/note_queue.h"
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

  static constexpr std::size_t kept = 49;  // two beats' spacings
  double rate_;
  bool running_ = false;
  bool waiting_ = false;   // started or continued: rolling from the next clock
  bool jumped_ = false;
  long position_ = -1;     // clocks from the song's start, of the last clock
  std::array<std::uint32_t, kept> times_{};  // frames of the latest clocks
  std::size_t seen_ = 0;
};

// Whether a message is one a clock follows (clock, Start, Continue, Stop,
// Song Position).
bool is_clock_message(const unsigned char* bytes, std::size_t size);

// Clock messages from the MIDI input (--midi alsa|jack), timed by when they
// came (steady-clock ns), on their way from the input's thread to live
// play's JACK client. Taken only while a play listens, so that none pile up
// between plays. Less exact than the client's own port: the input hands
// its messages over a period at a time.
struct timed_midi {
  std::array<unsigned char, 3> bytes{};
  std::int64_t ns = 0;
};
class midi_clock_inbox {
 public:
  void offer(const unsigned char* bytes, std::size_t size, std::int64_t ns);
  void listen(bool on);  // not while the JACK client takes from it
  bool take(timed_midi& m) { return ring_.pop(m); }

 private:
  spsc_ring<timed_midi, 256> ring_;
  std::atomic<bool> listening_{false};
};
midi_clock_inbox& midi_input_clock();
