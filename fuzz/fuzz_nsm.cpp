// The session manager's side. Any bytes as an OSC packet through liblo
// into the client's handlers: one with no sender is never taken for the
// manager's. And a session's three files (the input cut at two 0xff bytes:
// bindings, parameters.csp, events.cse) as "open" reads them: all or
// nothing, a refused session changes neither the set, the list nor the
// bindings.
#include <lo/lo.h>
#include <unistd.h>

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
  const std::string folder = "/tmp/zelmora-fuzz-nsm-" + std::to_string(::getpid());
  control_queue inbox;
  nsm_client client{"osc.udp://127.0.0.1:9/", "zelmora", inbox};  // the discard port
  lo_server server = lo_server_new_with_proto(nullptr, LO_UDP, nullptr);
};

void write_part(const std::string& path, const std::uint8_t* from, const std::uint8_t* to) {
  std::FILE* fp = std::fopen(path.c_str(), "w");
  fuzz::require(fp != nullptr, "a session file opens");
  std::fwrite(from, 1, static_cast<std::size_t>(to - from), fp);
  std::fclose(fp);
}

std::string bindings_text() {
  std::string all;
  for (const binding& b : Bindings.all())
    all += std::to_string(b.channel) + " " + std::to_string(b.controller) + " " +
           target_name(b.target) + "\n";
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static session s;
  std::vector<std::uint8_t> packet(data, data + size);
  lo_server_dispatch_data(s.server, packet.data(), packet.size());
  fuzz::require(s.inbox.take_all().empty(), "no stranger is heard");

  const std::uint8_t* end = data + size;
  const std::uint8_t* cut1 = std::find(data, end, 0xff);
  const std::uint8_t* cut2 = cut1 == end ? end : std::find(cut1 + 1, end, 0xff);
  write_part(s.folder + "/bindings", data, cut1);
  write_part(s.folder + "/parameters.csp", std::min(cut1 + 1, end), cut2);
  write_part(s.folder + "/events.cse", std::min(cut2 + 1, end), end);
  const parameters_type set = Current_State;
  const std::string list = fuzz::written_list(), bindings = bindings_text();
  const bool opened = nsm_open_session(s.folder);
  const bool changed =
      !(Current_State == set) || fuzz::written_list() != list || bindings_text() != bindings;
  fuzz::require(opened || !changed, "a refused session changes nothing");
  return 0;
}
