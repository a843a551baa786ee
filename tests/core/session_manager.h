// A session manager of the tests' own (OSC through liblo): it records what
// the client sends, the first sender being the client it answers.
#pragma once

#include <lo/lo.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "control/osc_args.h"
#include "files/param_file.h"
#include "tests/support/support.h"

struct session_manager {
  session_manager() { lo_server_add_method(server, nullptr, nullptr, on_any, this); }
  ~session_manager() {
    if (client) lo_address_free(client);
    lo_server_free(server);
  }
  session_manager(const session_manager&) = delete;
  static int on_any(const char* path, const char* types, lo_arg** argv, int argc, lo_message msg,
                    void* data) {
    auto& self = *static_cast<session_manager*>(data);
    std::string line = path;
    for (int i = 0; i < argc; ++i)
      line += " " + (types[i] == 's' ? std::string(osc_string(argv[i])) : std::to_string(osc_int(argv[i])));
    self.heard.push_back(line);
    if (!self.client) {
      char* url = lo_address_get_url(lo_message_get_source(msg));
      self.client = lo_address_new_from_url(url);
      std::free(url);
    }
    return 0;
  }
  // Receives until `count` messages were heard, calling `between` (the
  // windows' event loop) after each look.
  template <typename Between>
  bool hear(std::size_t count, Between between) {
    return test_support::poll_until([&] {
      lo_server_recv_noblock(server, 25);  // waits up to 25 ms itself
      between();
      return heard.size() >= count;
    }, 400, std::chrono::milliseconds(0));
  }
  bool hear(std::size_t count) { return hear(count, [] {}); }
  // As a real manager sends: from its own port, which alone is heard.
  void open(const std::string& folder) {
    lo_send_from(client, server, LO_TT_IMMEDIATE, "/nsm/client/open", "sss", folder.c_str(),
                 "zelmora", "nX");
  }
  void save() { lo_send_from(client, server, LO_TT_IMMEDIATE, "/nsm/client/save", ""); }
  std::string url() const {
    char* u = lo_server_get_url(server);
    const std::string s = u;
    std::free(u);
    return s;
  }
  lo_server server = lo_server_new(nullptr, nullptr);
  lo_address client = nullptr;
  std::vector<std::string> heard;
};

// Writes the parameter set `set` to `path`.
inline void write_set(const std::string& path, const parameters_type& set) {
  std::FILE* fp = std::fopen(path.c_str(), "w");
  write_parameters(fp, set);
  std::fclose(fp);
}
