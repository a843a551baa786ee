// JACK MIDI in a process of its own. libjack shares one table of wake-up
// objects among all the JACK clients of a process and leaves an entry
// mapped when a client quits while another of the process is still being
// opened; a client opened later under that entry's number waits on the dead
// one and never runs. csound's audio client "zelmora" beside a MIDI client
// in one process hit it whenever other JACK clients came and went: csound
// stalled for good. So the MIDI client "zelmora-midi" lives in a child
// process, the program itself started again (/proc/self/exe) with
// ZELMORA_JACK_MIDI_BRIDGE set, and passes each message to the parent
// through a pipe.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <thread>

#include "control/control_change.h"

// Whether this process was started as the bridge; the programs' main()
// asks first and then runs nothing else.
bool jack_midi_bridge_wanted();
// The bridge's whole life: its exit status.
int run_jack_midi_bridge();

// The parent's end: starts the bridge, queues what it passes on.
class jack_midi_bridge {
 public:
  explicit jack_midi_bridge(control_queue& inbox);
  ~jack_midi_bridge();
  jack_midi_bridge(const jack_midi_bridge&) = delete;
  jack_midi_bridge& operator=(const jack_midi_bridge&) = delete;

  // Whether the bridge's port is open.
  bool ok() const { return ok_; }

 private:
  void read_messages();
  void stop();

  control_queue& inbox_;
  pid_t pid_ = 0;
  int to_bridge_ = -1;    // closed: the bridge ends
  int from_bridge_ = -1;  // its messages
  std::thread reader_;
  bool ok_ = false;
};

// One message through the pipe: its first three bytes (a shorter one
// padded), then the steady clock's nanoseconds when the bridge got it, so
// that MIDI clock is timed by JACK's cycle rather than by the pipe.
using bridged_message = std::array<unsigned char, 3 + sizeof(std::int64_t)>;
constexpr std::size_t bridged_bytes = 3;
