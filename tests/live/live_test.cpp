// Live play through csound's API: the notes sent are the offline score, and
// on a real-time server the clock is kept (failures: render_cli_test).
#include <chrono>
#include <thread>

#include "engine/live/live.h"
#include "live_support.h"

namespace {

using live = live_test;

TEST_F(live, NotesSentAreTheOfflineScoreByteForByte) {
  for (const std::string& inputs :
       {std::string(), "--events " + example("calm-to-storm.cse"),
        "--params " + example("pentatonic.csp") + " --reduce mode"}) {
    ASSERT_EQ(run_render(inputs + " --score offline.sco"), 0) << inputs << err;
    ASSERT_EQ(run_render(inputs + " --live --score live.sco"), 0) << inputs << err;
    EXPECT_EQ(test_support::slurp("live.sco"), test_support::slurp("offline.sco")) << inputs;
  }
}

TEST_F(live, TwoSecondsOfGrainsTakeTwoSecondsOnJackAndCtrlCEndsCleanly) {
  const jack_server server(44100);
  ASSERT_EQ(std::system("jack_wait -w -t 10 >/dev/null 2>&1"), 0) << "no JACK server";
  Current_State.iter = 80;  // 80 grains of 25 ms
  sigset_t before, after;
  ::pthread_sigmask(SIG_BLOCK, nullptr, &before);
  live_player player;
  live_settings on_jack;
  on_jack.rtaudio = "jack";
  ASSERT_EQ(player.start(on_jack), 0);
  using clock = std::chrono::steady_clock;
  clock::time_point first{}, last{};
  while (player.update()) {
    const double played = player.clock();
    if (played >= 0.0 && first == clock::time_point{}) first = clock::now();
    if (played >= 2.0 && last == clock::time_point{}) last = clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_NE(last, clock::time_point{});
  // The server's clock paces the sound: never faster than real time.
  const double elapsed = std::chrono::duration<double>(last - first).count();
  EXPECT_GT(elapsed, 1.8);
  // A machine too busy for real time shows in the server's own log; only
  // then may play fall behind or an iteration be late.
  if (test_support::slurp("jackd.log").find("XRun") == std::string::npos) {
    EXPECT_LT(elapsed, 2.2);
    EXPECT_EQ(player.late_iterations(), 0);
  }
    EXPECT_EQ(Current_Iteration, 79);
  // libjack blocks signals in the threads that open and close it; the
  // caller's own are as they were.
  ::pthread_sigmask(SIG_BLOCK, nullptr, &after);
  for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP})
    EXPECT_EQ(::sigismember(&after, signal), ::sigismember(&before, signal)) << signal;

  // Ctrl-C: a clean end, and the score holds the notes sent so far.
  const std::string interrupted = "timeout --preserve-status -s INT 1.5 " ZELMORA_RENDER
                                  " --live --rtaudio jack --iterations 100000 --score cut.sco";
  EXPECT_EQ(std::system((interrupted + " 2>/dev/null").c_str()), 0);
  const std::string cut = test_support::slurp("cut.sco");
  const auto sent = (test_support::lines_of(cut).size() - 2) / 25;
  EXPECT_GT(sent, 0u);
  ASSERT_EQ(run_render("--iterations " + std::to_string(sent) + " --score same.sco"), 0);
  EXPECT_EQ(test_support::slurp("same.sco"), cut);
}

}  // namespace
