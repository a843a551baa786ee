// Play and Stop over and over on one JACK client while other clients come
// and go and the server restarts: libjack frees a process's clients when a
// server has gone, which once let csound close a freed one. Run by scripts/sanitize.sh under AddressSanitizer; set
// ZELMORA_STRESS_CYCLES for a longer run (500 for a soak).
#include <cstdlib>
#include <optional>
#include <thread>

#include "engine/live/live.h"
#include "live_support.h"

namespace {

using namespace std::chrono_literals;

TEST_F(live_test, PlayAndStopHoldWhileJackClientsComeAndGoAndTheServerRestarts) {
  const char* asked = std::getenv("ZELMORA_STRESS_CYCLES");
  const int cycles = asked ? std::atoi(asked) : 20;
  std::optional<jack_server> server(std::in_place, 48000, 64);
  ASSERT_TRUE(server->running());
  Current_State.iter = 100000;
  live_player player;
  live_settings on_jack;
  on_jack.rtaudio = "jack";
  for (int cycle = 0; cycle < cycles; ++cycle) {
    if (cycle % 10 == 9) {  // the server goes and comes back
      server->stop(cycle % 20 == 19 ? SIGKILL : SIGTERM);
      server.emplace(48000, cycle % 20 == 19 ? 256 : 64);
      ASSERT_TRUE(server->running()) << cycle;
    }
    child other("exec jack_lsp >/dev/null 2>&1");  // a client of another process
    ASSERT_EQ(player.start(on_jack), 0) << cycle;
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + 7 * (cycle % 5)));
    EXPECT_TRUE(player.update()) << cycle;
    player.stop();
    EXPECT_EQ(player.output(), "zelmora") << cycle;  // the same client, its name kept
    EXPECT_GT(player.played(), 0.0) << cycle;
  }
}

}  // namespace
