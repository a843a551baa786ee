// The windowed program under a session manager of the test's own (OSC
// through liblo): opening a session shows its set, saving writes what the
// windows hold.
#include <lo/lo.h>

#include "control/osc_args.h"
#include "files/param_file.h"
#include "ui/midi_learn.h"
#include "ui_fixture.h"

namespace {

using session = ui_fixture;

// Hears the program's messages while the windows keep running.
struct session_manager {
  session_manager() { lo_server_add_method(server, nullptr, nullptr, on_any, this); }
  ~session_manager() {
    if (client) lo_address_free(client);
    lo_server_free(server);
  }
  static int on_any(const char* path, const char* types, lo_arg** argv, int argc, lo_message msg,
                    void* data) {
    auto& self = *static_cast<session_manager*>(data);
    std::string line = path;
    for (int i = 0; i < argc; ++i)
      if (types[i] == 's') line += std::string(" ") + osc_string(argv[i]);
    self.heard.push_back(line);
    if (!self.client) {
      char* url = lo_address_get_url(lo_message_get_source(msg));
      self.client = lo_address_new_from_url(url);
      std::free(url);
    }
    return 0;
  }
  bool hear(std::size_t count) {
    return pump_until([&] {
      lo_server_recv_noblock(server, 0);
      return heard.size() >= count;
    });
  }
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

TEST_F(session, OpenShowsTheSessionsSetAndSaveWritesWhatTheWindowsHold) {
  session_manager manager;
  ::setenv("NSM_URL", manager.url().c_str(), 1);
  start_outside_control_windows(Ctrl_pannel);
  ::unsetenv("NSM_URL");
  ASSERT_TRUE(manager.hear(1));
  EXPECT_EQ(manager.heard[0].rfind("/nsm/server/announce zelmora : zelmora", 0), 0u);

  const std::string folder = (scratch->path / "zelmora.nABC").string();
  std::filesystem::create_directories(folder);
  parameters_type saved = Current_State;
  saved.r1 = 7.0f;
  {
    std::FILE* fp = std::fopen((folder + "/parameters.csp").c_str(), "w");
    write_parameters(fp, saved);
    std::fclose(fp);
  }
  lo_send(manager.client, "/nsm/client/open", "sss", folder.c_str(), "zelmora", "nABC");
  ASSERT_TRUE(manager.hear(2));
  EXPECT_EQ(manager.heard[1], "/reply /nsm/client/open OK");
  EXPECT_TRUE(pump_until([] { return scale_value(r1) == 700; })) << panel();

  XmScaleSetValue(r1, 300);
  XmScaleCallbackStruct data{.reason = XmCR_VALUE_CHANGED, .event = nullptr, .value = 300};
  XtCallCallbacks(r1, XmNvalueChangedCallback, &data);
  lo_send(manager.client, "/nsm/client/save", "");
  ASSERT_TRUE(manager.hear(3));
  EXPECT_EQ(manager.heard[2], "/reply /nsm/client/save OK");
  EXPECT_NE(slurp(folder + "/parameters.csp").find("r1=3.000000"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(folder + "/events.cse"));
  EXPECT_TRUE(std::filesystem::exists(folder + "/bindings"));
}

}  // namespace
