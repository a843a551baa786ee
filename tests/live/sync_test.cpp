// zelmora-render --live --sync on a private JACK server whose transport (and
// timebase master) the test drives itself: the take's iterations land on the
// grid, stop with the transport and follow its tempo.
#include <jack/jack.h>
#include <jack/midiport.h>

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

// The take's gaps between iterations, a run of equal ones (to the sample)
// as one; each gap of a run is the grain duration of the iteration before.
std::vector<double> gap_runs(const std::string& take) {
  const auto played = iterations_of(take);
  std::vector<double> runs{played.empty() ? 0.0 : played[0].first};  // the first start
  for (std::size_t i = 1; i < played.size(); ++i) {
    const double gap = played[i].first - played[i - 1].first;
    if (gap < 0.3) {
      EXPECT_NEAR(gap, played[i - 1].second, 1.0 / rate) << i;
    }
    if (runs.size() == 1 || std::abs(gap - runs.back()) > 1.0 / rate) runs.push_back(gap);
  }
  return runs;
}

// A JACK client of the test's own and zelmora-render --sync `how` beside
// it, the test's `drive` steps between, the take's gap runs after.
template <typename Drive>
std::vector<double> synced_take(const char* how, const std::string& wanted, Drive&& drive) {
  jack_client_t* own = jack_client_open("driver", JackNoStartServer, nullptr);
  EXPECT_NE(own, nullptr);
  if (!own) return {};
  child render(std::string("exec " ZELMORA_RENDER " --live --grain-beats 4 --no-connect "
                           "--iterations 100000 --score take.sco 2>render.err --sync ") + how);
  EXPECT_TRUE(jack_ports_show("zelmora:channel_1"));
  drive(own);
  render.stop(SIGINT);
  jack_client_close(own);
  EXPECT_NE(test_support::slurp("render.err").find(wanted), std::string::npos);
  return gap_runs(test_support::slurp("take.sco"));
}

// Waits for a master with the transport rolling, then 100 BPM (0.150 s
// sixteenths), 120 BPM from the next iteration (0.125 s), a stop, a start.
TEST_F(sync_play, IterationsFollowTheTransportsGridStopsAndTempo) {
  const jack_server server(rate, 256);
  ASSERT_TRUE(server.running());
  const auto runs = synced_take("jack", "JACK timebase master", [](jack_client_t* master) {
    jack_activate(master);
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
  });
  ASSERT_EQ(runs.size(), 5u);
  EXPECT_GT(runs[0], 0.35);
  EXPECT_NEAR(runs[1], 0.150, 1.0 / rate);
  EXPECT_NEAR(runs[2], 0.125, 1.0 / rate);
  EXPECT_GT(runs[3], 0.55);  // stopped
  EXPECT_NEAR(runs[4], 0.125, 1.0 / rate);
}

// A clock source of the test's own at 100 BPM: clocks while `ticking`, the
// message in `command` (Start, Stop, Continue) before the next clock.
struct clock_source {
  jack_port_t* port = nullptr;
  std::atomic<bool> ticking{false};
  std::atomic<unsigned char> command{0};
  double next = 0;  // frames to the next clock
};
int send_clock(jack_nframes_t frames, void* arg) {
  auto& c = *static_cast<clock_source*>(arg);
  void* out = jack_port_get_buffer(c.port, frames);
  jack_midi_clear_buffer(out);
  for (; c.ticking.load() && c.next < frames; c.next += rate * 60.0 / 100 / 24) {
    const auto at = static_cast<jack_nframes_t>(c.next);
    if (const unsigned char command = c.command.exchange(0)) jack_midi_event_write(out, at, &command, 1);
    const unsigned char tick = 0xF8;
    jack_midi_event_write(out, at, &tick, 1);
  }
  c.next = std::max(0.0, c.next - frames);
  return 0;
}

// No clock, then clocks but no Start, then Start, Stop, Continue.
TEST_F(sync_play, IterationsFollowMidiClockFromStartToStopAndOnWithContinue) {
  const jack_server server(rate, 256);
  ASSERT_TRUE(server.running());
  clock_source source;
  const auto runs = synced_take("midi", "MIDI clock", [&](jack_client_t* own) {
    source.port = jack_port_register(own, "clock_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(own, send_clock, &source);
    jack_activate(own);
    EXPECT_TRUE(jack_ports_show("zelmora:clock_in"));
    jack_connect(own, "driver:clock_out", "zelmora:clock_in");
    std::this_thread::sleep_for(300ms);
    source.ticking.store(true);
    std::this_thread::sleep_for(300ms);
    for (const unsigned char command : {0xFA, 0xFC, 0xFB}) {
      source.command.store(command);
      std::this_thread::sleep_for(1000ms);
    }
  });
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_GT(runs[0], 0.55);
  EXPECT_NEAR(runs[1], 0.150, 1.0 / rate);
  EXPECT_GT(runs[2], 0.9);  // stopped
  EXPECT_NEAR(runs[3], 0.150, 1.0 / rate);
}

}  // namespace
