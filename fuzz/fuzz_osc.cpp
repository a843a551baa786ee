// OSC messages as the OSC server gets them: any bytes through liblo's own
// decoding into zelmora's handlers, and every change they queue applied
// as the engine applies it. The set stays one the engine can play. A
// load's name is the fuzzer's own file, holding the same bytes, read on
// the load worker and handed over.
#include <lo/lo.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "control/control_apply.h"
#include "control/control_loads.h"
#include "control/osc_server.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool started = (fuzz::quiet_start(), true);
  static control_queue inbox;
  static const lo_server server = [] {
    const lo_server s = lo_server_new_with_proto(nullptr, LO_UDP, nullptr);
    osc_add_methods(s, inbox);
    return s;
  }();
  (void)started;
  std::vector<std::uint8_t> packet(data, data + size);  // liblo swaps in place
  lo_server_dispatch_data(server, packet.data(), packet.size());
  const std::vector<control_change> changes = inbox.take_all();
  static const std::string scratch = fuzz::scratch_directory() + "/load";
  control_effects effects;
  for (control_change c : changes) {
    if (c.kind == control_kind::load) {
      c.text = scratch + (c.text.ends_with(".cse") ? ".cse" : ".csp");
      fuzz::write_file(c.text, data, size);
    }
    apply_control(c, false, effects);
    while (control_load_running()) {
      std::this_thread::yield();
      finish_control_load(false, effects);
    }
  }
  fuzz::require(check_parameters(Current_State) == 0, "the set stays playable");
  return 0;
}
