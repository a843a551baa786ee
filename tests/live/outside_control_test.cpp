// zelmora-render played from outside during live play on a private JACK
// server: OSC in (liblo), OSC out, JACK MIDI from jack_midiseq.
#include <RtMidi.h>
#include <lo/lo.h>

#include <mutex>

#include "control/osc_args.h"
#include "live_support.h"

namespace {

using outside = live_test;

// Periods of 512 frames give the clients twice the time of live play's own
// test to finish each cycle: timing is not measured here, and a busy machine
// then rarely makes JACK drop a client.
constexpr int control_period = 512;

// The frequency field (p5) of each score line, by iteration.
std::vector<std::vector<std::string>> frequencies_by_iteration(const std::string& score,
                                                               int instruments) {
  std::vector<std::vector<std::string>> out;
  const auto lines = test_support::lines_of(score);
  for (std::size_t i = 2; i < lines.size(); ++i) {
    if ((i - 2) % instruments == 0) out.emplace_back();
    out.back().push_back(lines[i].substr(lines[i].rfind(' ') + 1));
  }
  return out;
}

// UDP ports of the test process's own (0 the program's, 1 the test's):
// tests run side by side.
std::string udp_port(int which) {
  return std::to_string(20000 + (::getpid() % 10000) * 2 + which);
}

// exec: the child's PID is the program's own, so stopping it stops the program.
std::string live_take() {
  return "exec " ZELMORA_RENDER " --live --rtaudio jack --iterations 100000 --osc-port " +
         udp_port(0) + " --score take.sco";
}

TEST_F(outside, EveryStateTo440ByOscSoundsLaterAndStopWritesTheTake) {
  const jack_server server(44100, control_period);
  ASSERT_TRUE(server.running()) << "no JACK server";
  child render(live_take() + " 2>render.err");
  ASSERT_TRUE(jack_ports_show("zelmora:channel_1")) << test_support::slurp("render.err");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const lo_address to = lo_address_new("127.0.0.1", udp_port(0).c_str());
  for (int s = 0; s < 40; ++s) lo_send(to, "/zelmora/state", "if", s, 440.0f);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  lo_send(to, "/zelmora/stop", "");
  lo_address_free(to);
  ASSERT_EQ(render.wait(), 0) << test_support::slurp("render.err") << test_support::slurp("jackd.log");

  // Exactly: the set holds a position, whose e^(0.096 p) is 440.000031.
  const std::string hz = "440.000000";
  const auto take = frequencies_by_iteration(test_support::slurp("take.sco"), 25);
  ASSERT_GT(take.size(), 20u);
  EXPECT_NE(take.front()[0], hz) << "not before the messages";
  std::size_t first = 0;
  while (first < take.size() && take[first][0] != hz) ++first;
  ASSERT_LT(first, take.size());
  for (std::size_t t = first; t < take.size(); ++t)
    for (const std::string& f : take[t]) ASSERT_EQ(f, hz) << "iteration " << t;
}

// A receiver of the test's own for /zelmora/notes, on a thread of its own:
// a socket holds fewer datagrams than a render sends.
struct note_receiver {
  note_receiver() {
    lo_server_thread_add_method(thread, "/zelmora/notes", nullptr, on_notes, this);
    lo_server_thread_start(thread);
  }
  ~note_receiver() { lo_server_thread_free(thread); }
  static int on_notes(const char*, const char* types, lo_arg** argv, int argc, lo_message,
                      void* data) {
    auto& self = *static_cast<note_receiver*>(data);
    std::vector<std::string> message{types, std::to_string(osc_int(argv[0]))};
    // std::to_string writes as "%f", as the score does.
    for (int i = 1; i < argc; ++i) message.push_back(std::to_string(osc_float(argv[i])));
    const std::lock_guard<std::mutex> hold(self.lock);
    self.got.push_back(message);
    return 0;
  }
  std::vector<std::vector<std::string>> wait_for(std::size_t count) {
    for (int tries = 0; tries < 200 && size() < count; ++tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::lock_guard<std::mutex> hold(lock);
    return got;
  }
  std::size_t size() {
    const std::lock_guard<std::mutex> hold(lock);
    return got.size();
  }
  lo_server_thread thread = lo_server_thread_new_with_proto(udp_port(1).c_str(), LO_UDP, nullptr);
  std::mutex lock;
  std::vector<std::vector<std::string>> got;
};

TEST_F(outside, OscOutSendsEachIterationsNotesAsTheScoreHasThem) {
  note_receiver receiver;
  ASSERT_EQ(run_render("--params " + example("pentatonic.csp") +
                       " --reduce mode --iterations 1000 --osc-send 127.0.0.1:" + udp_port(1) + " --score s.sco"),
            0) << err;
  const std::string score = test_support::slurp("s.sco");
  const auto lines = test_support::lines_of(score);
  const int instruments = static_cast<int>((lines.size() - 2) / 1000);
  const auto notes = frequencies_by_iteration(score, instruments);
  // Far more than a socket holds: sent at a pace the listener keeps up with.
  const auto got = receiver.wait_for(1000);
  ASSERT_EQ(got.size(), 1000u);
  for (std::size_t t = 0; t < got.size(); ++t) {
    // liblo gives the type tags without their leading comma.
    EXPECT_EQ(got[t][0], "if" + std::string(instruments, 'f'));
    EXPECT_EQ(got[t][1], std::to_string(t));
    std::istringstream line(lines[2 + t * instruments]);
    std::string instrument, start;
    line >> instrument >> start;
    EXPECT_NEAR(std::stod(got[t][2]), std::stod(start), 1e-5) << "start time (a float) of " << t;
    EXPECT_EQ(std::vector<std::string>(got[t].begin() + 3, got[t].end()), notes[t]) << t;
  }
}

long resident_kib(pid_t pid) {
  const std::string status = test_support::slurp("/proc/" + std::to_string(pid) + "/status");
  const auto at = status.find("VmRSS:");
  return at == std::string::npos ? 0 : std::atol(status.c_str() + at + 6);
}

// A flood of loads of a large list (a megabyte of events) from the test's
// own socket: memory stays bounded, the log is cut down, and Ctrl-C still
// ends play at once with the take.
TEST_F(outside, AFloodOfLoadsNeitherExhaustsMemoryNorHoldsUpCtrlC) {
  const jack_server server(44100, control_period);
  ASSERT_TRUE(server.running()) << "no JACK server";
  std::string list;
  while (list.size() < (1 << 20) - 64) list += "event\ntype=1\ntime=9\nname=\nend\n";
  test_support::spit("flood.cse", list);
  child render(live_take() + " 2>render.err");
  ASSERT_TRUE(jack_ports_show("zelmora:channel_1")) << test_support::slurp("render.err");
  const lo_address to = lo_address_new("127.0.0.1", udp_port(0).c_str());
  long most = 0;
  using clock = std::chrono::steady_clock;
  for (const auto end = clock::now() + std::chrono::seconds(5); clock::now() < end;) {
    for (int i = 0; i < 200; ++i) lo_send(to, "/zelmora/load", "s", "flood.cse");
    lo_send(to, "/zelmora/bogus", "");
    most = std::max(most, resident_kib(render.pid));
  }
  lo_address_free(to);
  const auto interrupted = clock::now();
  ::kill(render.pid, SIGINT);
  EXPECT_EQ(render.wait(), 0) << test_support::slurp("render.err");
  EXPECT_LT(clock::now() - interrupted, std::chrono::seconds(1));
  EXPECT_LT(most, 256 * 1024);
  EXPECT_GT(test_support::slurp("take.sco").size(), 1000u);
  const std::string err = test_support::slurp("render.err");
  EXPECT_LT(test_support::lines_of(err).size(), 200u);
  EXPECT_NE(err.find("log lines dropped"), std::string::npos) << err.substr(0, 2000);
}

TEST_F(outside, JackMidiNoteOn72DoublesTheTakesFrequencies) {
  const jack_server server(44100, control_period);
  ASSERT_TRUE(server.running()) << "no JACK server";
  child render(live_take() + " --midi jack 2>render.err");
  ASSERT_TRUE(jack_ports_show("zelmora-midi:midi_in")) << test_support::slurp("render.err");
  ASSERT_TRUE(jack_ports_show("zelmora:channel_1"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // Key 72 four times a second, connected to zelmora's input.
  child keyboard("exec jack_midiseq zelmora_test_keys 11025 0 72 2000 >/dev/null 2>&1");
  ASSERT_TRUE(jack_ports_show("zelmora_test_keys:out"));
  ASSERT_EQ(std::system("jack_connect zelmora_test_keys:out zelmora-midi:midi_in"), 0)
      << test_support::slurp("render.err");
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  const lo_address to = lo_address_new("127.0.0.1", udp_port(0).c_str());
  lo_send(to, "/zelmora/stop", "");
  lo_address_free(to);
  ASSERT_EQ(render.wait(), 0) << test_support::slurp("render.err") << test_support::slurp("jackd.log");
  // The MIDI client's process ended with the program.
  EXPECT_NE(std::system("jack_lsp 2>/dev/null | grep -q zelmora-midi"), 0);

  const std::string take = test_support::slurp("take.sco");
  const auto played = frequencies_by_iteration(take, 25);
  ASSERT_GT(played.size(), 10u) << test_support::slurp("render.err");
  ASSERT_EQ(run_render("--iterations " + std::to_string(played.size()) + " --score plain.sco"), 0);
  const auto plain = frequencies_by_iteration(test_support::slurp("plain.sco"), 25);
  ASSERT_EQ(plain.size(), played.size());
  std::size_t first = 0;
  while (first < played.size() && played[first] == plain[first]) ++first;
  ASSERT_LT(first, played.size()) << "the note-on changed nothing";
  ASSERT_GT(first, 0u) << "not before the note-on";
  for (std::size_t t = first; t < played.size(); ++t)
    for (std::size_t i = 0; i < 25; ++i)
      ASSERT_NEAR(std::stod(played[t][i]), 2.0 * std::stod(plain[t][i]), 2e-6) << "iteration " << t;
}

}  // namespace
