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

}  // namespace
