// A MIDI byte stream cut into messages at each status byte, as a port
// delivers them: every change applied, through bindings of every kind of
// control. The set stays playable and the note scaling finite and in range.
#include <cmath>
#include <cstdint>

#include "control/bindings.h"
#include "control/control_apply.h"
#include "control/midi_input.h"
#include "engine/render/performance.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool started = [] {
    fuzz::quiet_start();
    int controller = 0;
    for (const char* name : {"r1", "r2", "k", "x", "y", "s0", "s39", "i0", "i24"})
      Bindings.bind({1 + controller % 16, controller, *parse_target(name)}), ++controller;
    return true;
  }();
  (void)started;
  control_effects effects;
  for (std::size_t at = 0; at < size;) {
    std::size_t end = at + 1;
    while (end < size && data[end] < 0x80) ++end;
    control_change change;
    if (midi_change(data + at, end - at, change)) apply_control(change, false, effects);
    at = end;
  }
  fuzz::require(check_parameters(Current_State) == 0, "the set stays playable");
  fuzz::require(std::isfinite(Note_Scaling.frequency) && Note_Scaling.frequency > 0.0f &&
                    Note_Scaling.amplitude > 0.0f && Note_Scaling.amplitude <= 1.0f,
                "the note scaling stays in range");
  return 0;
}
