// The session manager's side. Any bytes as an OSC packet through liblo
// into the client's handlers: one with no sender is never taken for the
// manager's. And a session's three files (the input cut at two 0xff bytes:
// bindings, parameters.csp, events.cse) as "open" reads them: all or
// nothing, a refused session changes neither the set, the list nor the
// bindings.
#include <lo/lo.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "control/bindings.h"
#include "control/nsm_client.h"
#include "fuzz_support.h"

namespace {

struct session {
  session() {
    fuzz::quiet_start();
    std::filesystem::create_directories(folder);
    nsm_add_methods(server, client);
  }
  const std::string folder = fuzz::scratch_directory() + "/session";
  control_queue inbox;
  nsm_client client{"osc.udp://127.0.0.1:9/", "zelmora", inbox};  // the discard port
  lo_server server = lo_server_new_with_proto(nullptr, LO_UDP, nullptr);
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static session s;
  std::vector<std::uint8_t> packet(data, data + size);
  lo_server_dispatch_data(s.server, packet.data(), packet.size());
  fuzz::require(s.inbox.take_all().empty(), "no stranger is heard");

  const std::uint8_t* end = data + size;
  const auto part = [&](const char* name, const std::uint8_t* from) {
    const std::uint8_t* to = std::find(from, end, 0xff);
    fuzz::write_file(s.folder + name, from, static_cast<std::size_t>(to - from));
    return to == end ? end : to + 1;
  };
  part("/events.cse", part("/parameters.csp", part("/bindings", data)));
  const parameters_type set = Current_State;
  const std::string list = fuzz::written_list();
  const std::vector<binding> bindings = Bindings.all();
  const bool opened = nsm_open_session(s.folder);
  const bool changed =
      !(Current_State == set) || fuzz::written_list() != list || Bindings.all() != bindings;
  fuzz::require(opened || !changed, "a refused session changes nothing");
  return 0;
}
