// zelmora-render --live --sync on a private JACK server whose transport (and
// timebase master) the test drives itself: the take's iterations land on the
// grid, stop with the transport and follow its tempo.
#include <jack/jack.h>

#include <atomic>
#include <cmath>
#include <sstream>
#include <vector>

#include "live_support.h"

namespace {

using sync_play = live_test;
using namespace std::chrono_literals;
constexpr int rate = 48000;

// The test's own timebase master: bar 1 beat 1 at frame 0, the tempo asked.
std::atomic<double> master_bpm{100.0};
void keep_time(jack_transport_state_t, jack_nframes_t, jack_position_t* pos, int, void*) {
  const double beats = pos->frame * master_bpm.load() / 60.0 / rate;
  pos->valid = JackPositionBBT;
  pos->beats_per_bar = 4;
  pos->beat_type = 4;
  pos->ticks_per_beat = 1920;
  pos->beats_per_minute = master_bpm.load();
  pos->bar = static_cast<int>(beats / 4) + 1;
  pos->beat = static_cast<int>(std::fmod(beats, 4.0)) + 1;
  pos->tick = static_cast<int>((beats - std::floor(beats)) * 1920);
}

// The take's iterations: each start (seconds) with its grain duration.
std::vector<std::pair<double, double>> iterations_of(const std::string& take) {
  std::vector<std::pair<double, double>> found;
  std::istringstream lines(take);
  std::string instrument;
  double start = 0, dur = 0;
  for (std::string line; std::getline(lines, line);)
    if (std::istringstream(line) >> instrument >> start >> dur && instrument[0] == 'i' &&
        (found.empty() || found.back().first != start))
      found.emplace_back(start, dur);
  return found;
}

// Waits for a master with the transport rolling, then 100 BPM (0.150 s
// sixteenths), 120 BPM from the next iteration (0.125 s), a stop, a start.
TEST_F(sync_play, IterationsFollowTheTransportsGridStopsAndTempo) {
  const jack_server server(rate, 256);
  ASSERT_TRUE(server.running());
  jack_client_t* master = jack_client_open("master", JackNoStartServer, nullptr);
  ASSERT_NE(master, nullptr);
  ASSERT_EQ(jack_activate(master), 0);
  child render("exec " ZELMORA_RENDER " --live --sync jack --grain-beats 4 --no-connect "
               "--iterations 100000 --score take.sco 2>render.err");
  ASSERT_TRUE(jack_ports_show("zelmora:channel_1"));
  jack_transport_start(master);
  std::this_thread::sleep_for(400ms);  // rolling, no tempo: nothing plays
  jack_set_timebase_callback(master, 0, keep_time, nullptr);
  std::this_thread::sleep_for(1000ms);
  master_bpm.store(120.0);
  std::this_thread::sleep_for(1000ms);
  jack_transport_stop(master);
  std::this_thread::sleep_for(600ms);
  jack_transport_start(master);
  std::this_thread::sleep_for(500ms);
  render.stop(SIGINT);
  jack_client_close(master);

  EXPECT_NE(test_support::slurp("render.err").find("no JACK timebase master"), std::string::npos);
  const auto played = iterations_of(test_support::slurp("take.sco"));
  ASSERT_GT(played.size(), 16u);
  EXPECT_GT(played[0].first, 0.35);
  const double sample = 1.0 / rate;
  std::vector<double> steps;  // one for each run of equal gaps
  for (std::size_t i = 1; i < played.size(); ++i) {
    const double gap = played[i].first - played[i - 1].first;
    if (gap < 0.3) {
      EXPECT_NEAR(gap, played[i - 1].second, sample) << i;  // its own grain
    }
    if (steps.empty() || std::abs(gap - steps.back()) > sample) steps.push_back(gap);
  }
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_NEAR(steps[0], 0.150, sample);
  EXPECT_NEAR(steps[1], 0.125, sample);
  EXPECT_GT(steps[2], 0.55);  // stopped
  EXPECT_NEAR(steps[3], 0.125, sample);
}

}  // namespace
