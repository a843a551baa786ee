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

// TERM and HUP fade out, leaving no partial score (an unknown module:
// render_cli_test); the server killed mid-play ends play with status 1.
TEST_F(jack_client, EndsOnASignalOrWhenTheServerDies) {
  jack_server server(44100);
  ASSERT_TRUE(server.running());
  for (const int signal : {SIGTERM, SIGHUP, SIGKILL}) {
    child render(live("--rtaudio jack --iterations 100000 --score take.sco"));
    ASSERT_TRUE(jack_ports_show("zelmora:channel_1"));
    if (signal == SIGKILL) {
      server.stop(SIGKILL);
      EXPECT_EQ(render.wait(2), 1);
      EXPECT_NE(test_support::slurp("render.err").find("audio device stopped playing"),
                std::string::npos);
    } else {
      ::kill(render.pid, signal);
      EXPECT_EQ(render.wait(2), 128 + signal);
      EXPECT_FALSE(std::filesystem::exists("take.sco")) << signal;
    }
  }
}

// What must not end play, or not crash it: the server stalled for over a
// second (the gap counted as dropouts), a hangup that nohup ignored, and
// memory too short to start (a message, no temporary left behind).
TEST_F(jack_client, SurvivesAStalledServerAndAnIgnoredHangupAndFailsCleanlyShortOfMemory) {
  jack_server server(48000);
  ASSERT_TRUE(server.running());
  struct trial {
    const char* shell;
    int signal;  // to the server (SIGSTOP: stalled 1.2 s) or to the program
    int status;
    const char* says;
  };
  for (const trial& t : {trial{"", SIGSTOP, 0, "dropouts"}, trial{"trap '' HUP; ", SIGHUP, 0, ""},
                         trial{"ulimit -v 150000; ", 0, 1, "Live play failed: "}}) {
#if defined(__SANITIZE_ADDRESS__)
    if (t.status != 0) continue;  // the sanitizer's shadow memory needs more
#endif
    std::filesystem::remove("take.sco");
    child render(t.shell + live("--rtaudio jack --iterations 100 --score take.sco"));
    if (t.signal) {
      ASSERT_TRUE(jack_ports_show("zelmora:channel_1")) << t.shell;
    }
    if (t.signal == SIGSTOP) {
      ::kill(server.pid, SIGSTOP);
      std::this_thread::sleep_for(1200ms);
      ::kill(server.pid, SIGCONT);
    } else if (t.signal) {
      ::kill(render.pid, t.signal);
    }
    EXPECT_EQ(render.wait(20), t.status) << t.shell << test_support::slurp("render.err");
    EXPECT_NE(test_support::slurp("render.err").find(t.says), std::string::npos) << t.shell;
    EXPECT_EQ(std::filesystem::exists("take.sco"), t.status == 0) << t.shell;
    for (const auto& entry : std::filesystem::directory_iterator("."))
      EXPECT_EQ(entry.path().filename().string().rfind(".zelmora-", 0), std::string::npos);
  }
}

}  // namespace
