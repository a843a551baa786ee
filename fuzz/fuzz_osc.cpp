// OSC messages as the OSC server gets them: any bytes through liblo's own
// decoding into zelmora's handlers, and every change they queue applied
// as the engine applies it. The queue stays within its bounds and the set
// stays one the engine can play (loads, read on a worker, are left out).
#include <lo/lo.h>

#include <cstdint>
#include <vector>

#include "control/control_apply.h"
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
  fuzz::require(changes.size() <= control_queue::capacity, "the queue is bounded");
  control_effects effects;
  for (const control_change& c : changes)
    if (c.kind != control_kind::load) apply_control(c, false, effects);
  fuzz::require(check_parameters(Current_State) == 0, "the set stays playable");
  return 0;
}
