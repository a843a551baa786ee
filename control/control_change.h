// A change to the running engine that arrived from outside (OSC, MIDI, the
// session manager) on a thread of its own. Changes wait in a queue until the
// engine's thread takes them at an iteration boundary (or, in the windows,
// on the toolkit's thread).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/mapping/scala.h"

enum class control_kind {
  r1,
  r2,
  k,
  dur,
  grid_x,      // grid rows, as the control panel's scale
  grid_y,      // grid columns
  reduce,      // index 0 mean, 1 mode
  state,       // index, value in Hz
  state_position,  // index, value a slider position (e^(0.096 p) Hz)
  instrument,  // index, value the score amplitude (0 ... 1000)
  reseed,
  load,        // text: a .csp or .cse path
  play,
  stop,
  note,        // index the key, value the velocity (1 ... 127)
  controller,  // index channel * 128 + controller, value 0 ... 127
  session_open,  // text: the session's folder
  session_save,
  grain,       // index: a key of grain_keys; value: its number or choice index
  // Tuning and tempo (tuning_control.h).
  scale,       // text: the file's path; tuning: what it holds, read off the engine's thread
  quantize,    // value 0 off, 1 on
  tempo,       // value beats a minute, 0 for none
};

struct control_change {
  control_kind kind = control_kind::stop;
  int index = 0;
  double value = 0.0;
  std::string text;
  std::shared_ptr<const tuning_source> tuning{};  // a scale or mapping read, for `scale`
};

// Many threads push; one takes. Bounded: a change of a control that
// already waits replaces it (the intermediate values are never heard), and
// beyond `capacity` changes, or `max_loads` loads, a change is refused with
// a log line. `wake` (set before any thread starts pushing) runs after
// every push, on the pushing thread, and when wake() is called.
class control_queue {
 public:
  static constexpr std::size_t capacity = 4096;
  static constexpr std::size_t max_loads = 4;

  // False when the change was refused.
  bool push(control_change change);
  std::vector<control_change> take_all();
  // The changes waiting, in order of arrival, up to and including the
  // first load: what comes after a load waits until its file is in.
  std::vector<control_change> take_until_load();
  std::size_t refused() const;
  void set_wake(std::function<void()> wake);
  void wake();

 private:
  bool refuse(std::size_t limit, const char* what);

  mutable std::mutex lock_;
  std::vector<control_change> pending_;
  std::size_t loads_ = 0;
  std::size_t refused_ = 0;
  std::function<void()> wake_;
};

// The one queue every source feeds.
control_queue& control_inbox();
