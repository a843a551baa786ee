// MIDI in (RtMidi): an input port "midi_in" of the client "zelmora" on the
// ALSA sequencer, of "zelmora-midi" on JACK (whose "zelmora" is the audio;
// see jack_midi_bridge.h). Note-ons and controllers are queued for the
// engine:
//   note-on of key N, velocity V   every note's frequency times 2^((N-60)/12),
//                                  its score amplitude times V/127, until the
//                                  next note-on (a velocity of 0 is a note-off,
//                                  which changes nothing)
//   controller C on channel H      the control bound to it (bindings.h)
#pragma once

#include <memory>
#include <string>

#include "control/control_change.h"

class midi_input {
 public:
  // `system` is "alsa" or "jack"; ok() is false (reported) when the port
  // cannot be made.
  midi_input(const std::string& system, control_queue& inbox);
  ~midi_input();
  midi_input(const midi_input&) = delete;
  midi_input& operator=(const midi_input&) = delete;

  bool ok() const { return ok_; }

  struct impl;

 private:
  void open_sequencer_port();

  std::unique_ptr<impl> impl_;
  bool ok_ = false;
};

// The change a MIDI message makes, if any: byte 0 its status.
bool midi_change(const unsigned char* bytes, std::size_t size, control_change& change);
