// zelmora-render --live on private JACK servers: the client, its ports and
// their connections at the server's own rate, and the ways play can end.
#include "live_support.h"

namespace {

using jack_client = live_test;
using namespace std::chrono_literals;

// zelmora-render --live, its messages in render.err.
std::string live(const std::string& arguments) {
  return "exec " ZELMORA_RENDER " --live " + arguments + " 2>render.err";
}

constexpr const char* both_connected =
    "system:playback_1\n   zelmora:channel_1\nsystem:playback_2\n   zelmora:channel_2\n"
    "zelmora:channel_1\n   system:playback_1\nzelmora:channel_2\n   system:playback_2\n";

TEST_F(jack_client, PlaysAtTheServersRateOnBothPlaybackPortsOrNoneWhenAsked) {
  for (const int rate : {48000, 96000}) {
    jack_server server(rate);
    ASSERT_TRUE(server.running()) << rate;
    {
      child render(live("--rtaudio jack --iterations 80"));
      EXPECT_TRUE(jack_ports_show(both_connected)) << rate;
      EXPECT_EQ(render.wait(20), 0) << rate << test_support::slurp("render.err");
    }
    child unconnected(live("--rtaudio jack --no-connect --iterations 80"));
    ASSERT_TRUE(jack_ports_show("zelmora:channel_2"));
    std::this_thread::sleep_for(500ms);  // when it would have connected
    jack_ports_show("");
    const std::string ports = test_support::slurp("ports.txt");
    EXPECT_NE(ports.find("zelmora:channel_1\nzelmora:channel_2\n"), std::string::npos) << ports;
    EXPECT_EQ(unconnected.wait(20), 0) << rate;
  }
}

bool take_begun() {
  for (const auto& entry : std::filesystem::directory_iterator("."))
    if (entry.path().filename().string().rfind(".zelmora-", 0) == 0 && entry.file_size() > 0)
      return true;
  return false;
}

// How play ends, and what does not end it: TERM and HUP fade out and keep
// no take; a hangup nohup ignored and a server stalled 1.2 s (the gap
// counted as dropouts) leave play to its end; the server killed ends it
// with status 1, the take so far kept; memory too short to start is a
// message and status 1. None leaves a temporary behind.
TEST_F(jack_client, EndsOnASignalOrALostServerAndOnNothingElse) {
  jack_server server(48000);
  ASSERT_TRUE(server.running());
  struct trial {
    const char* shell;
    int to_program, to_server, status;
    bool kept;
    const char* says;
  };
  for (const trial& t : {trial{"", SIGTERM, 0, 128 + SIGTERM, false, ""},
                         trial{"", SIGHUP, 0, 128 + SIGHUP, false, ""},
                         trial{"trap '' HUP; ", SIGHUP, 0, 0, true, ""},
                         trial{"", 0, SIGSTOP, 0, true, "dropouts"},
                         trial{"ulimit -v 150000; ", 0, 0, 1, false, "Live play failed: "},
                         trial{"", 0, SIGKILL, 1, true, "audio device stopped playing"}}) {
#if defined(__SANITIZE_ADDRESS__)
    if (t.status == 1 && !t.kept) continue;  // the sanitizer's shadow memory needs more
#endif
    std::filesystem::remove("take.sco");
    child render(t.shell + live("--rtaudio jack --iterations 100 --score take.sco"));
    if (t.to_program || t.to_server) {
      ASSERT_TRUE(jack_ports_show("zelmora:channel_1")) << t.shell << t.to_program;
    }
    if (t.to_program) ::kill(render.pid, t.to_program);
    if (t.to_server == SIGSTOP) {
      // Once play has begun: the take's temporary has had notes written.
      for (int tries = 0; tries < 500 && !take_begun(); ++tries) std::this_thread::sleep_for(20ms);
      ::kill(server.pid, SIGSTOP);
      std::this_thread::sleep_for(1200ms);
      ::kill(server.pid, SIGCONT);
    } else if (t.to_server) {
      server.stop(t.to_server);
    }
    const std::string what = t.shell + std::to_string(t.to_program + t.to_server);
    EXPECT_EQ(render.wait(20), t.status) << what << test_support::slurp("render.err");
    const std::string said = test_support::slurp("render.err");
    EXPECT_NE(said.find(t.says), std::string::npos) << what;
    if (t.to_server == SIGSTOP) {
      EXPECT_EQ(said.find(" 0 dropouts"), std::string::npos) << said;
    }
    EXPECT_EQ(std::filesystem::exists("take.sco"), t.kept) << what;
    for (const auto& entry : std::filesystem::directory_iterator("."))
      EXPECT_EQ(entry.path().filename().string().rfind(".zelmora-", 0), std::string::npos);
  }
}

}  // namespace
