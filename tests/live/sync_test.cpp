// zelmora-render --live --sync on a private JACK server whose transport (its
// timebase master) or MIDI clock the test drives itself: the take's
// iterations land on the grid to the sample, stop and start with the
// transport and follow its tempo.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "live_support.h"

namespace {

using sync_play = live_test;
constexpr int rate = 48000;
constexpr double sample = 1.0 / rate;

// The test's own timebase master: one long bar from frame 0, 1920 ticks a beat.
std::atomic<double> master_bpm{100.0};
void keep_time(jack_transport_state_t, jack_nframes_t, jack_position_t* pos, int, void*) {
  const double beats = pos->frame * master_bpm.load() / 60.0 / rate;
  pos->valid = JackPositionBBT;
  pos->bar = 1;
  pos->beat = static_cast<int>(beats) + 1;
  pos->ticks_per_beat = 1920;
  pos->tick = static_cast<int>((beats - std::floor(beats)) * 1920);
  pos->beats_per_minute = master_bpm.load();
}

// The take's first start, then its gaps between iterations, each run of
// equal ones (`within` seconds) as one. A gap of a run is its grain's
// duration; `irregular` counts the gaps that are neither nor a wait.
std::vector<double> gap_runs(const std::string& take, double within, int& irregular) {
  std::vector<double> runs;
  std::istringstream lines(take);
  double last = -1, start = 0, dur = 0, last_dur = 0;
  irregular = 0;
  for (std::string line; std::getline(lines, line);) {
    if (std::sscanf(line.c_str(), "i%*d %lf %lf", &start, &dur) != 2 || start == last) continue;
    const double gap = runs.empty() ? start : start - last;
    if (!runs.empty() && gap <= 0.3 && std::abs(gap - last_dur) > within) ++irregular;
    if (runs.size() < 2 || std::abs(gap - runs.back()) > within) runs.push_back(gap);
    last = start;
    last_dur = dur;
  }
  return runs;
}

// A clock at 100 BPM on `clock_out` while `ticking`, `command` before the next.
jack_port_t* clock_out = nullptr;
std::atomic<bool> ticking{false};
std::atomic<unsigned char> command{0};
double next_clock = 0;  // frames from the cycle's start
int send_clock(jack_nframes_t frames, void*) {
  void* out = jack_port_get_buffer(clock_out, frames);
  jack_midi_clear_buffer(out);
  for (; ticking.load() && next_clock < frames; next_clock += rate * 60.0 / 100 / 24) {
    const unsigned char messages[] = {command.exchange(0), 0xF8};
    for (const unsigned char& m : messages)
      if (m != 0) jack_midi_event_write(out, static_cast<jack_nframes_t>(next_clock), &m, 1);
  }
  next_clock = std::max(0.0, next_clock - frames);
  return 0;
}

// One thing the test's client does, then how long it waits.
using client = jack_client_t*;
struct step {
  void (*act)(client);
  int ms;
};

// zelmora-render --sync beside a JACK client of the test's own that drives
// it (its clock into `port`); it says what it waits for; the take's runs are
// as expected (`within` seconds), a negative one at least its size (a wait).
// JACK: rolling with no master; 100 BPM (0.150 s sixteenths), 120 BPM from
// the next iteration (0.125 s); stopped; started again.
// MIDI: no clock; clocks without Start; Start, Stop, Continue a second apart,
// on the JACK client's own port (to the sample) or through --midi's input
// (which times the messages a period at a time).
TEST_F(sync_play, IterationsFollowTheTransportOrMidiClock) {
  const jack_server server(rate, 256);
  ASSERT_TRUE(server.running());
  const std::vector<step> clock_steps{{[](client) { ticking.store(true); }, 1000},
                                      {[](client) { command.store(0xFA); }, 1000},
                                      {[](client) { command.store(0xFC); }, 1000},
                                      {[](client) { command.store(0xFB); }, 1000}};
  const struct {
    const char* how;
    const char* port;
    const char* wanted;
    std::vector<step> steps;
    std::vector<double> expected;
    double within;
  } cases[] = {
      {"jack", nullptr, "JACK timebase master",
       {{[](client c) { jack_transport_start(c); }, 400},
        {[](client c) { jack_set_timebase_callback(c, 0, keep_time, nullptr); }, 1000},
        {[](client) { master_bpm.store(120.0); }, 1000},
        {[](client c) { jack_transport_stop(c); }, 600},
        {[](client c) { jack_transport_start(c); }, 500}},
       {-0.2, 0.150, 0.125, -0.55, 0.125}, sample},
      {"midi", "zelmora:clock_in", "MIDI clock", clock_steps, {-0.4, 0.150, -0.9, 0.150}, sample},
      {"midi --midi jack", "zelmora-midi:midi_in", "MIDI clock", clock_steps,
       {-0.4, 0.150, -0.9, 0.150}, 0.001}};
  // One try of a case: what went wrong, empty when nothing did.
  const auto attempt = [&](const auto& c) {
    jack_client_t* own = jack_client_open("driver", JackNoStartServer, nullptr);
    if (!own) return std::string("no client of the test's own");
    clock_out = jack_port_register(own, "clock_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(own, send_clock, nullptr);
    master_bpm.store(100.0);
    ticking.store(false);
    command.store(0);
    next_clock = 0;
    jack_activate(own);
    child render(std::string("exec " ZELMORA_RENDER " --live --no-connect --iterations 100000 "
                             "--score take.sco 2>render.err --grain-beats 4 --sync ") + c.how);
    const bool ports = jack_ports_show(c.port ? "zelmora:clock_in" : "zelmora:channel_1");
    if (c.port) jack_connect(own, "driver:clock_out", c.port);
    for (const step& s : c.steps) {
      s.act(own);
      std::this_thread::sleep_for(std::chrono::milliseconds(s.ms));
    }
    render.stop(SIGINT);
    jack_client_close(own);
    if (!ports) return std::string("no ports");
    if (test_support::slurp("render.err").find(c.wanted) == std::string::npos)
      return "no word of waiting for a " + std::string(c.wanted);
    int irregular = 0;
    const std::vector<double> runs = gap_runs(test_support::slurp("take.sco"), c.within, irregular);
    std::ostringstream found;
    for (const double run : runs) found << ' ' << run;
    bool as_expected = irregular == 0 && runs.size() == c.expected.size();
    for (std::size_t i = 0; as_expected && i < runs.size(); ++i)
      as_expected = c.expected[i] < 0 ? runs[i] > -c.expected[i]
                                      : std::abs(runs[i] - c.expected[i]) <= c.within;
    return as_expected ? std::string() : "runs" + found.str() + ", irregular gaps " +
                                             std::to_string(irregular);
  };
  // A machine too busy for real time loses cycles (an xrun), and the grid
  // is found again from the master's coarser ticks: a case may be tried
  // three times for one run to the sample.
  for (const auto& c : cases) {
    std::string failure = attempt(c);
    for (int retry = 0; retry < 2 && !failure.empty(); ++retry) failure = attempt(c);
    EXPECT_EQ(failure, "") << c.how;
  }
}

}  // namespace
