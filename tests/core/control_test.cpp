// Outside control: OSC through liblo into the engine's run state, MIDI
// bindings, note-ons in the score, and a small session manager.
#include <arpa/inet.h>
#include <lo/lo.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cmath>
#include <tuple>

#include "control/bindings.h"
#include "control/control_apply.h"
#include "control/control_loads.h"
#include "control/midi_input.h"
#include "control/nsm_client.h"
#include "control/osc_server.h"
#include "engine/render/iteration.h"
#include "engine/engine.h"
#include "engine/mapping/mapping.h"
#include "engine/mapping/tuning.h"
#include "engine/mapping/scales.h"
#include "engine/render/performance.h"
#include "engine/render/render.h"
#include "session_manager.h"
#include "test_support.h"

namespace {

using test_support::stderr_of;

// The changes `inbox` holds once there are `count` (or after a long wait).
std::vector<control_change> wait_for(control_queue& inbox, std::size_t count, int tries = 2000) {
  std::vector<control_change> got;
  test_support::poll_until([&] {
    for (control_change& c : inbox.take_all()) got.push_back(std::move(c));
    return got.size() >= count;
  }, tries);
  return got;
}

void send_raw(int port, const std::string& bytes) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  const sockaddr_in to{.sin_family = AF_INET, .sin_port = htons(static_cast<std::uint16_t>(port)),
                       .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
  ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  ::close(fd);
}

class control : public test_support::core_test {
 protected:
  void TearDown() override {
    Note_Scaling = {};
    Bindings.clear();
    Controller_Catcher = nullptr;
    core_test::TearDown();
  }
  // Applies waiting changes as the engine does between iterations until
  // `done` (a load is read on a worker meanwhile).
  template <typename Done>
  control_effects apply_until(Done done, bool rendering) {
    control_effects effects;
    test_support::poll_until([&] {
      const control_effects e = apply_controls(rendering);
      effects.panel |= e.panel;
      effects.frequencies |= e.frequencies;
      effects.events |= e.events;
      return done();
    });
    return effects;
  }
  void apply_all(const std::vector<control_change>& changes) {
    control_effects effects;
    for (const control_change& c : changes) apply_control(c, false, effects);
  }
};

TEST_F(control, OscMessagesReachTheRunStateAndBadOnesAreRefusedWithALogLine) {
  control_queue inbox;
  const osc_server server("0", inbox);
  ASSERT_TRUE(server.ok());
  const lo_address to = lo_address_new("127.0.0.1", std::to_string(server.port()).c_str());
  std::string log = stderr_of([&] {
    lo_send(to, "/zelmora/r1", "f", 2.5f);
    lo_send(to, "/zelmora/r2", "i", 3);  // any number type
    lo_send(to, "/zelmora/k", "d", 4.0);
    lo_send(to, "/zelmora/dur", "f", 0.05f);
    lo_send(to, "/zelmora/reduce", "s", "mode");
    lo_send(to, "/zelmora/state", "if", 2, 220.0f);
    lo_send(to, "/zelmora/instrument", "if", 3, 800.0f);
    lo_send(to, "/zelmora/load", "s", "nowhere.csp");
    lo_send(to, "/zelmora/reseed", "");
    lo_send(to, "/zelmora/stop", "");
    // Refused or ignored, each with a line, none queued:
    lo_send(to, "/zelmora/r1", "f", 0.0f);
    lo_send(to, "/zelmora/dur", "f", 11.0f);
    lo_send(to, "/zelmora/state", "if", 2, 30000.0f);
    lo_send(to, "/zelmora/instrument", "if", 3, -1.0f);
    lo_send(to, "/zelmora/k", "f", std::nanf(""));
    lo_send(to, "/zelmora/reduce", "s", "median");
    lo_send(to, "/zelmora/state", "f", 1.0f);
    lo_send(to, "/zelmora/volume", "f", 1.0f);
    lo_send(to, "/zelmora/instrument", "hf", std::int64_t{1} << 32 | 3, 800.0f);
    lo_send(to, "/zelmora/state", "df", 2.5, 800.0f);
    lo_send(to, "/zelmora/\x1b]0;owned\x07", "");
    send_raw(server.port(), "not OSC at all");
    const std::vector<control_change> got = wait_for(inbox, 10);
    ASSERT_EQ(got.size(), 10u);
    lo_send(to, "/zelmora/stop", "");  // the last, so every refusal above was read
    ASSERT_EQ(wait_for(inbox, 1).size(), 1u);
    apply_all(got);
  });
  lo_address_free(to);
  EXPECT_EQ(std::tie(Current_State.r1, Current_State.r2, Current_State.k, Current_State.dur, Mean_Mode),
            std::make_tuple(2.5f, 3.0f, 4.0f, 0.05f, 1));
  EXPECT_FLOAT_EQ(position_frequency(Current_State.states[2]), 220.0f);
  EXPECT_FLOAT_EQ(Current_State.instrm[3], 80.0f);
  for (const char* refusal : {"/zelmora/r1 refused: 0 is outside 1e-06 ... 1000",
                              "/zelmora/dur refused: 11", "/zelmora/state refused: 30000",
                              "/zelmora/instrument refused: -1", "/zelmora/k refused: nan",
                              "\"median\" is neither", "ignored: /zelmora/state with arguments \"f\"",
                              "ignored: /zelmora/volume", "OSC error",
                              "/zelmora/instrument refused: 4294967299 is no index",
                              "/zelmora/state refused: 2.5 is no index",
                              "ignored: /zelmora/\\x1b]0;owned\\x07 with"})
    EXPECT_NE(log.find(refusal), std::string::npos) << refusal << "\n" << log;
  EXPECT_EQ(log.find('\x1b'), std::string::npos) << "control characters reach the terminal";
}

// The port is the loopback interface's unless an address is given: a
// socket of another address may then have the same port only when the
// server is not on every interface.
TEST_F(control, OscListensOnTheLoopbackInterfaceUnlessToldWhere) {
  const struct {
    const char* where;
    bool others_may_bind;
  } cases[] = {{"0", true}, {"127.0.0.3:0", true}, {"0.0.0.0:0", false}};
  for (const auto& c : cases) {
    control_queue inbox;
    const osc_server server(c.where, inbox);
    ASSERT_TRUE(server.ok()) << c.where;
    const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in at{.sin_family = AF_INET, .sin_port = htons(static_cast<std::uint16_t>(server.port())),
                         .sin_addr = {htonl(0x7f000002)}, .sin_zero = {}};
    EXPECT_EQ(::bind(probe, reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0, c.others_may_bind)
        << c.where;
    ::close(probe);
  }
}

TEST_F(control, LoadDuringARenderKeepsTheGridAndPlaysTheListOnFromHere) {
  const test_support::temp_dir dir("zelmora-load-");
  parameters_type other = Current_State;
  other.r1 = 6.0f;
  other.x = other.y = 20;
  other.Ns = 10;
  other.noinstrm = 4;
  const std::string set = (dir.path / "other.csp").string();
  write_set(set, other);
  const std::string list = (dir.path / "list.cse").string();
  test_support::spit(list, test_support::example_file);  // events at 0, 100 and 200
  const parameters_type before = Current_State;
  Current_Iteration = 150;
  // Read on a worker; an r1 sent after the set waits for it and wins.
  control_inbox().push({control_kind::load, 0, 0.0, set});
  control_inbox().push({control_kind::r1, 0, 7.0, ""});
  control_inbox().push({control_kind::load, 0, 0.0, list});
  const control_effects effects = apply_until([] { return Next_Event != nullptr; }, true);
  EXPECT_FLOAT_EQ(Current_State.r1, 7.0f);
  EXPECT_EQ(std::tie(Current_State.x, Current_State.y, Current_State.Ns, Current_State.noinstrm),
            std::tie(before.x, before.y, before.Ns, before.noinstrm));
  ASSERT_NE(Next_Event, nullptr);
  EXPECT_EQ(Next_Event->time_stamp, 200);
  EXPECT_TRUE(effects.panel && effects.frequencies && effects.events);
  // Between renders a set is loaded whole.
  control_inbox().push({control_kind::load, 0, 0.0, set});
  apply_until([&] { return Current_State == other; }, false);
  EXPECT_EQ(Current_State, other);
}

// A load by OSC reads only a regular file of sane size; refused, it says so
// and changes nothing.
TEST_F(control, LoadsReadOnlyRegularFilesOfSaneSize) {
  const test_support::temp_dir dir("zelmora-load-");
  const std::string big = (dir.path / "big.cse").string(), fifo = (dir.path / "f.csp").string();
  test_support::spit(big, std::string(max_control_load_size + 1, '\n'));
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir.path / "zero.csp");
  parameters_type after = Current_State;
  after.r1 = 5.0f;  // sent last: applied once every load has been read
  const std::string log = stderr_of([&] {
    for (const char* name : {"big.cse", "f.csp", "zero.csp", "none.csp"})
      control_inbox().push({control_kind::load, 0, 0.0, (dir.path / name).string()});
    control_inbox().push({control_kind::r1, 0, 5.0, ""});
    apply_until([] { return Current_State.r1 == 5.0f; }, false);
  });
  EXPECT_EQ(Current_State, after);
  for (const char* said : {"big.cse is larger than 1024 KiB", "f.csp is not a regular file",
                           "zero.csp is not a regular file", "none.csp: No such file"})
    EXPECT_NE(log.find(said), std::string::npos) << said << "\n" << log;
}

// The queue holds the last value of each control, and refuses beyond its
// bounds with a counted line.
TEST_F(control, TheQueueKeepsTheLastValueOfEachControlAndIsBounded) {
  control_queue inbox;
  const std::string log = stderr_of([&] {
    for (int i = 0; i < 10000; ++i) inbox.push({control_kind::r1, 0, 1.0 + i % 7, ""});
    for (int i = 0; i < 10; ++i) inbox.push({control_kind::load, 0, 0.0, "x.csp"});
    for (int i = 0; i < 5000; ++i) inbox.push({control_kind::controller, i, 1.0, ""});
  });
  EXPECT_EQ(inbox.refused(), 6u + 5000 + 5 - control_queue::capacity);
  EXPECT_NE(log.find("change refused, 4 loads wait already (1 refused so far)"), std::string::npos)
      << log;
  const std::vector<control_change> first = inbox.take_until_load();
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].value, 1.0 + 9999 % 7);
  EXPECT_EQ(inbox.take_all().size(), control_queue::capacity - 2);
}

TEST_F(control, IndicesBeyondTheSetInUseAreRefusedWhenApplied) {
  const parameters_type before = Current_State;
  const std::string log = stderr_of([&] {
    apply_all({{control_kind::state, Current_State.Ns, 440.0, ""},
               {control_kind::state, -1, 440.0, ""},
               {control_kind::instrument, Current_State.noinstrm, 10.0, ""}});
  });
  EXPECT_EQ(Current_State, before);
  EXPECT_NE(log.find("state 40 refused: the set has state 0 ... 39"), std::string::npos) << log;
  EXPECT_NE(log.find("instrument 25 refused"), std::string::npos) << log;
}

// The set keeps a position, whose e^(0.096 p) is not quite the value; the
// value sounds until the position moves.
TEST_F(control, AFrequencySetByValueSoundsExactlyUntilItsPositionMoves) {
  control_effects effects;
  apply_control({control_kind::state, 3, 440.0, ""}, false, effects);
  EXPECT_NE(position_frequency(Current_State.states[3]), 440.0f);
  EXPECT_EQ(state_frequencies(Current_State.states)[3], 440.0f);
  EXPECT_EQ(state_frequencies(Current_State.states)[4], position_frequency(50.0f));
  apply_control({control_kind::state_position, 3, 50.0, ""}, false, effects);
  EXPECT_EQ(state_frequencies(Current_State.states)[3], position_frequency(50.0f));
}

// A scale is read on the OSC thread and arrives parsed; the engine's
// thread only takes it.
TEST_F(control, ScaleQuantizeAndTempoByOscTuneTheDefaultEngine) {
  const test_support::temp_dir dir("zelmora-osc-scale-");
  const std::string scale = (dir.path / "fifths.scl").string();
  test_support::spit(scale, "fifths\n2\n3/2\n2/1\n");
  control_queue inbox;
  const osc_server server("0", inbox);
  ASSERT_TRUE(server.ok());
  const lo_address to = lo_address_new("127.0.0.1", std::to_string(server.port()).c_str());
  const std::string log = stderr_of([&] {
    lo_send(to, "/zelmora/scale", "s", (dir.path / "nowhere.scl").c_str());
    lo_send(to, "/zelmora/quantize", "i", 2);
    lo_send(to, "/zelmora/tempo", "f", 1001.0f);
    lo_send(to, "/zelmora/scale", "s", scale.c_str());
    lo_send(to, "/zelmora/quantize", "f", 1.0f);
    lo_send(to, "/zelmora/tempo", "i", 120);
    const std::vector<control_change> got = wait_for(inbox, 3);
    ASSERT_EQ(got.size(), 3u);
    ASSERT_NE(got[0].tuning, nullptr);
    apply_all(got);
  });
  lo_address_free(to);
  const tuning& t = tuning_of(default_engine());
  EXPECT_TRUE(t.quantize);
  EXPECT_EQ(t.beats.bpm, 120.0);
  EXPECT_EQ(state_frequencies(Current_State.states)[3], static_cast<float>(middle_c_hz * 3));
  for (const char* said : {"can't open", "2 is outside 0 ... 1", "1001 is outside 0 ... 1000",
                           "states tuned to"})
    EXPECT_NE(log.find(said), std::string::npos) << said << "\n" << log;
}

// Lock holds for OSC and MIDI as for the windows: every entry in use moves
// by the same offset, none beyond the set's counts.
TEST_F(control, WithLockSetAStateOrInstrumentMovesEveryOneInUse) {
  Freq_Lock = Amp_Lock = 1;
  const parameters_type before = Current_State;
  apply_all({{control_kind::state, 0, 2 * position_frequency(50.0f), ""},
             {control_kind::instrument, 2, 600.0, ""}});
  EXPECT_NEAR(position_hertz(Current_State.states[Current_State.Ns - 1] - 50.0f), 2.0, 1e-6);
  EXPECT_EQ(Current_State.instrm[0], 60.0f);
  const int s = Current_State.Ns, i = Current_State.noinstrm;
  EXPECT_EQ(std::pair(Current_State.states[s], Current_State.instrm[i]),
            std::pair(before.states[s], before.instrm[i]));
}

// A note-on transposes from key 60 and its velocity scales the amplitudes
// (the score's frequencies doubled by key 72: outside_control_test); a
// note-off is no change.
TEST_F(control, ANoteOnTransposesAndItsVelocityScalesTheAmplitudes) {
  control_change note;
  const unsigned char note_on[] = {0x91, 72, 127}, note_off[] = {0x91, 72, 0};
  EXPECT_FALSE(midi_change(note_off, 3, note));
  ASSERT_TRUE(midi_change(note_on, 3, note));
  apply_all({note});
  EXPECT_EQ(std::pair(Note_Scaling.frequency, Note_Scaling.amplitude), std::pair(2.0f, 1.0f));
  apply_all({{control_kind::note, 60, 64.0, ""}});
  EXPECT_EQ(Note_Scaling.frequency, 1.0f);
  EXPECT_FLOAT_EQ(Note_Scaling.amplitude, 64.0f / 127.0f);
}

// Where the ALSA sequencer cannot be opened (as in CI), the port is said to
// be missing and nothing else fails; where it can, the port is made.
TEST_F(control, AnAlsaSequencerPortIsMadeOrItsAbsenceSaid) {
  control_queue inbox;
  const bool sequencer = ::access("/dev/snd/seq", R_OK | W_OK) == 0;
  const std::string said = stderr_of([&] { EXPECT_EQ(midi_input("alsa", inbox).ok(), sequencer); });
  EXPECT_EQ(said.find("no MIDI input through alsa") == std::string::npos, sequencer) << said;
}

// Asks for a reseed while iteration `at` is handed out.
struct reseed_asker final : iteration_sink {
  explicit reseed_asker(int at) : at(at) {}
  void on_iteration(const iteration& it) override {
    if (it.number == at) control_inbox().push({control_kind::reseed, 0, 0.0, ""});
  }
  int at;
};

TEST_F(control, AReseedByOscIsTheReseedAnEventMakesAtTheNextIteration) {
  test_support::temp_stream by_event, by_control;
  Current_State.iter = 40;
  add_event_special();
  set_event_time(1, 21);
  ASSERT_EQ(play_ca(::fdopen(::dup(::fileno(by_event.get())), "w")), render_complete);
  clear_event_list();
  systeminit();
  Current_State.iter = 40;
  apply_controls_at_iterations(nullptr);
  reseed_asker asker(20);
  {
    const sink_registration asking(asker);
    ASSERT_EQ(play_ca(::fdopen(::dup(::fileno(by_control.get())), "w")), render_complete);
  }
  default_engine().performers.clear();
  EXPECT_EQ(by_control.text(), by_event.text());
}

TEST_F(control, BoundControllersMoveTheirControlsAcrossTheirScales) {
  Bindings.bind({1, 7, *parse_target("r1")});
  Bindings.bind({2, 7, *parse_target("s5")});
  Bindings.bind({1, 8, *parse_target("i3")});
  Bindings.bind({1, 9, *parse_target("r1")});  // r1 follows one controller
  EXPECT_EQ(Bindings.find(1, 7), nullptr);
  const auto cc = [](int channel, int controller, int value) {
    return control_change{control_kind::controller, (channel - 1) * 128 + controller,
                          static_cast<double>(value), ""};
  };
  apply_all({cc(1, 9, 127), cc(2, 7, 0), cc(1, 8, 127), cc(1, 7, 0)});
  EXPECT_FLOAT_EQ(Current_State.r1, 10.0f);
  EXPECT_EQ(Current_State.states[5], 0.0f);
  EXPECT_FLOAT_EQ(Current_State.instrm[3], 100.0f);
  apply_all({cc(1, 9, 0)});
  EXPECT_FLOAT_EQ(Current_State.r1, 0.01f);

  // Learning takes a controller before any binding does.
  int caught = -1;
  Controller_Catcher = [&](int, int controller, int) { return caught = controller, true; };
  apply_all({cc(1, 9, 64)});
  EXPECT_EQ(caught, 9);
  EXPECT_FLOAT_EQ(Current_State.r1, 0.01f);
}

TEST_F(control, BindingsFileIsWrittenReadBackAndABadLineRefusesIt) {
  const test_support::temp_dir dir("zelmora-bindings-");
  const std::string path = (dir.path / "sub" / "bindings").string();
  binding_table table;
  EXPECT_TRUE(read_bindings(path, table)) << "no file, no bindings";
  table.bind({16, 127, *parse_target("y")});
  table.bind({1, 0, *parse_target("i99")});
  ASSERT_TRUE(write_bindings(path, table));
  binding_table back;
  ASSERT_TRUE(read_bindings(path, back));
  ASSERT_EQ(back.all().size(), 2u);
  EXPECT_EQ(target_name(back.find(16, 127)->target), "y");
  EXPECT_EQ(target_name(back.find(1, 0)->target), "i99");
  for (const char* bad : {"17 1 r1\n", "1 128 r1\n", "1 1 s100\n", "1 1 volume\n", "1 1 r1 x\n"}) {
    test_support::spit(path, std::string("1 2 k\n") + bad);
    const std::string log = stderr_of([&] { EXPECT_FALSE(read_bindings(path, back)) << bad; });
    EXPECT_NE(log.find("line 2"), std::string::npos) << log;
    EXPECT_EQ(back.all().size(), 2u) << "left as it was";
  }
  ::setenv("XDG_CONFIG_HOME", dir.path.c_str(), 1);
  EXPECT_EQ(default_bindings_path(), (dir.path / "zelmora" / "bindings").string());
  ::unsetenv("XDG_CONFIG_HOME");
}

// A binding's range spans the controller's travel, in equal ratios for
// frequencies and r1, r2, k, either way round; Learn spans a musical
// interval around the value; a controller whose partner (32 on) sends too
// moves in 14-bit steps. A range outside the control's is refused.
TEST_F(control, BindingRangesAreMusicalAndPairsMoveInFourteenBits) {
  const test_support::temp_dir dir("zelmora-ranges-");
  const std::string path = (dir.path / "bindings").string();
  test_support::spit(path, "1 7 r1 0.5 2\n1 8 s0 220 880\n1 9 x 100 0\n1 10 i0\n");
  binding_table table;
  ASSERT_TRUE(read_bindings(path, table));
  const struct {
    int controller, value;
    double expected;
  } cases[] = {{7, 0, 0.5},    {7, 127, 2.0},  {8, 127, hertz_position(880)}, {9, 0, 100},
               {9, 127, 0},    {10, 127, 1000}, {7, 64, 0.5 * std::pow(4.0, 64 / 127.0)},
               {39, 0, 1.0},  // the partner heard: 64 * 128 of 16383
               {7, 64, 1.0},   {39, 127, 0.5 * std::pow(4.0, 8319 / 16383.0)}};
  for (const auto& c : cases)
    EXPECT_NEAR(table.change_for(1, c.controller, c.value)->value, c.expected, 1e-4)
        << c.controller << " " << c.value;
  EXPECT_FALSE(table.change_for(1, 44, 5)) << "the partner of nothing bound";
  ASSERT_TRUE(write_bindings(path, table));
  EXPECT_NE(test_support::slurp(path).find("1 8 s0 220 880\n"), std::string::npos);

  for (const auto& [name, current, low, high] :
       {std::tuple("r1", 2.0, 0.5, 8.0), {"k", 5.0, 1.25, 10.0}, {"s3", 440.0, 220.0, 880.0},
        {"i3", 500.0, 0.0, 1000.0}, {"x", 60.0, 0.0, 1000.0}}) {
    const binding_range range = learned_range(*parse_target(name), current);
    EXPECT_EQ(std::pair(range.low, range.high), std::pair(low, high)) << name;
  }
  for (const char* bad : {"1 7 r1 0.5 20\n", "1 7 r1 2 2\n", "1 7 r1 0.5\n", "1 7 s0 0 100\n"}) {
    test_support::spit(path, bad);
    stderr_of([&] { EXPECT_FALSE(read_bindings(path, table)) << bad; });
  }
}

TEST_F(control, SessionManagerOpensAndSavesTheSetListAndBindings) {
  const test_support::temp_dir dir("zelmora-session-");
  session_manager manager;
  control_queue inbox;
  const nsm_client client(manager.url(), "zelmora", inbox);
  ASSERT_TRUE(client.ok());
  ASSERT_TRUE(manager.hear(1));
  EXPECT_EQ(manager.heard[0].rfind("/nsm/server/announce zelmora : zelmora 1 2 ", 0), 0u)
      << manager.heard[0];

  // A session saved earlier: its bindings are loaded (its set, and a set
  // saved: session_test).
  const std::string folder = (dir.path / "zelmora.nXYZ").string();
  std::filesystem::create_directories(folder);
  test_support::spit(folder + "/bindings", "3 4 k\n");
  write_set(folder + "/parameters.csp", Current_State);
  // Anyone else who reaches the port is not heard.
  const std::string stranger = stderr_of([&] {
    lo_send(manager.client, "/nsm/client/open", "sss", (folder + "/x").c_str(), "zelmora", "nX");
    ASSERT_TRUE(wait_for(inbox, 1, 100).empty());
  });
  EXPECT_NE(stranger.find("/nsm/client/open ignored: from 127.0.0.1:"), std::string::npos) << stranger;
  manager.open(folder);
  apply_all(wait_for(inbox, 1));
  ASSERT_TRUE(manager.hear(2));
  EXPECT_EQ(manager.heard[1], "/reply /nsm/client/open OK");
  ASSERT_NE(Bindings.find(3, 4), nullptr);
  EXPECT_EQ(bindings_file(), folder + "/bindings");

  add_event_special();
  Bindings.bind({1, 1, *parse_target("s0")});
  manager.save();
  apply_all(wait_for(inbox, 1));
  ASSERT_TRUE(manager.hear(3));
  EXPECT_EQ(manager.heard[2], "/reply /nsm/client/save OK");
  EXPECT_NE(test_support::slurp(folder + "/events.cse").find("type=3"), std::string::npos);
  EXPECT_NE(test_support::slurp(folder + "/bindings").find("1 1 s0"), std::string::npos);

  // A session whose set is refused: an error, and nothing changed.
  test_support::spit(folder + "/parameters.csp", "r1=0\nend\n");
  const parameters_type before = Current_State;
  stderr_of([&] {
    manager.open(folder);
    apply_all(wait_for(inbox, 1));
  });
  ASSERT_TRUE(manager.hear(4));
  EXPECT_EQ(manager.heard[3].rfind("/error /nsm/client/open -1 refused", 0), 0u) << manager.heard[3];
  EXPECT_EQ(Current_State, before);

  // A new, empty session starts from the defaults, not from the last one.
  Current_State.r1 = 9.0f;
  manager.open((dir.path / "new").string());
  apply_all(wait_for(inbox, 1));
  ASSERT_TRUE(manager.hear(5));
  parameters_type defaults{};
  default_parameters(defaults);
  EXPECT_EQ(Current_State, defaults);
  EXPECT_EQ(List_Size, 0);
}

}  // namespace
