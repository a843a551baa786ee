// zelmora-render --live on private JACK servers: the client, its ports and
// their connections at the server's own rate, and the ways play can end.
#include <chrono>
#include <thread>

#include "live_support.h"

namespace {

using jack_client = live_test;
using clock_type = std::chrono::steady_clock;
using namespace std::chrono_literals;

// zelmora-render started in the background, its messages in render.err.
struct render_process {
  explicit render_process(const std::string& arguments) {
    const std::string command = "exec " ZELMORA_RENDER " " + arguments + " 2>render.err";
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    if (::posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
      pid = 0;
  }
  ~render_process() {
    if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
  }
  render_process(const render_process&) = delete;
  render_process& operator=(const render_process&) = delete;

  // The exit status, or -1 when it is still running after `limit`.
  int wait_for_exit(std::chrono::duration<double> limit) {
    const auto give_up = clock_type::now() + limit;
    int raw = 0;
    while (clock_type::now() < give_up) {
      if (::waitpid(pid, &raw, WNOHANG) == pid) {
        pid = 0;
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      }
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }
  pid_t pid = 0;
};

// Whether `jack_lsp -c` shows `wanted` within ten seconds; its last listing
// is left in ports.txt.
bool jack_ports_show(const std::string& wanted) {
  for (const auto give_up = clock_type::now() + 10s; clock_type::now() < give_up;) {
    std::system("timeout -k 1 5 jack_lsp -c >ports.txt 2>/dev/null");  // it can hang
    if (test_support::slurp("ports.txt").find(wanted) != std::string::npos) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

constexpr const char* both_connected =
    "system:playback_1\n   zelmora:channel_1\nsystem:playback_2\n   zelmora:channel_2\n"
    "zelmora:channel_1\n   system:playback_1\nzelmora:channel_2\n   system:playback_2\n";

TEST_F(jack_client, PlaysAtTheServersRateOnBothPlaybackPortsOrNoneWhenAsked) {
  for (const int rate : {48000, 96000}) {
    jack_server server(rate);
    ASSERT_TRUE(server.running()) << rate;
    {
      render_process render("--live --rtaudio jack --iterations 80");
      EXPECT_TRUE(jack_ports_show(both_connected)) << rate;
      EXPECT_EQ(render.wait_for_exit(20s), 0) << rate << test_support::slurp("render.err");
    }
    render_process unconnected("--live --rtaudio jack --no-connect --iterations 80");
    ASSERT_TRUE(jack_ports_show("zelmora:channel_2"));
    std::this_thread::sleep_for(500ms);  // when it would have connected
    jack_ports_show("");
    const std::string ports = test_support::slurp("ports.txt");
    EXPECT_NE(ports.find("zelmora:channel_1\nzelmora:channel_2\n"), std::string::npos) << ports;
    EXPECT_EQ(unconnected.wait_for_exit(20s), 0) << rate;
  }
}

// An unknown module is refused before anything plays; TERM and HUP fade
// out, leaving no partial score.
TEST_F(jack_client, EndsOnAnUnknownModuleOrASignal) {
  jack_server server(44100);
  ASSERT_TRUE(server.running());
  {
    render_process render("--live --rtaudio nonesuch --iterations 400 --score take.sco");
    EXPECT_EQ(render.wait_for_exit(2s), 1);
    const std::string said = test_support::slurp("render.err");
    EXPECT_NE(said.find("no audio module \"nonesuch\"; it has: "), std::string::npos) << said;
    EXPECT_NE(said.find("jack"), std::string::npos) << said;
    EXPECT_FALSE(std::filesystem::exists("take.sco"));
  }
  for (const int signal : {SIGTERM, SIGHUP}) {
    render_process render("--live --rtaudio jack --iterations 100000 --score take.sco");
    ASSERT_TRUE(jack_ports_show("zelmora:channel_1"));
    ::kill(render.pid, signal);
    EXPECT_EQ(render.wait_for_exit(2s), 128 + signal);
    EXPECT_FALSE(std::filesystem::exists("take.sco")) << signal;
  }
}

TEST_F(jack_client, ServerKilledMidPlayEndsPlayWithStatusOne) {
  jack_server server(44100);
  ASSERT_TRUE(server.running());
  render_process render("--live --rtaudio jack --iterations 100000 --score take.sco");
  ASSERT_TRUE(jack_ports_show("zelmora:channel_1"));
  server.stop(SIGKILL);
  EXPECT_EQ(render.wait_for_exit(2s), 1);
  EXPECT_NE(test_support::slurp("render.err").find("audio device stopped playing"),
            std::string::npos);
}

}  // namespace
