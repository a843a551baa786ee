// zelmora-render run as a separate process, so every render is the first
// after program start.
#include <chrono>
#include <cmath>
#include <regex>
#include <set>
#include <thread>

#include "render_fixture.h"

namespace {

class render_cli_test : public render_fixture {
 protected:
  // The renderer reaching no JACK server; exec: the shell's PID is its own.
  std::string no_jack(const std::string& arguments) const {
    return "JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER=none exec " + renderer + " " + arguments;
  }
  run_result run(const std::string& arguments) const { return shell(no_jack(arguments)); }
  // What the renderer draws on a pseudo-terminal (script's) that is its
  // standard error, standard output to a file.
  run_result run_on_terminal(const std::string& arguments) const {
    return shell("script -qec \"exec " + renderer + " " + arguments +
                 " >stdout\" /dev/null </dev/null >&2");
  }
};

// The process ids of the children of `pid`'s main thread.
std::vector<pid_t> children_of(pid_t pid) {
  const std::string self = std::to_string(pid);
  std::istringstream listed(slurp("/proc/" + self + "/task/" + self + "/children"));
  std::vector<pid_t> children;
  for (pid_t child = 0; listed >> child;) children.push_back(child);
  return children;
}

TEST_F(render_cli_test, FilesAreLoadedAsTheDialogsLoadThemAndTheScoreIsTheOutput) {
  spit(dir / "one.csp",
       "r1=2.000000\nNs=4\nnoinstrm=1\ns0=440\ns1=440\ns2=440\ns3=440\ni0=250\nend\n");
  spit(dir / "list.cse",
       "event\ntype=1\ntime=2\nname=quiet\nr1=2.000000\nNs=9\nnoinstrm=9\ni0=100\nend\n");
  const run_result r = run("--params one.csp --events list.cse --iterations 3");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            // 440 Hz comes back through a single-precision position.
            std::string("f1 0 8192 10 1\nf2 0 8193 7 0.0001 8192 1.0\n") +
                "i1 0.000000 0.025000 250.000000 440.000061\n"
                "i1 0.025000 0.025000 250.000000 440.000061\n"
                "i1 0.050000 0.025000 100.000000 440.000061\n");
  // The defaults: 600 iterations of 25 notes, or none.
  const strings by_mode = lines_of(run("--reduce mode").out);
  EXPECT_EQ(by_mode.size(), 15002u);
  EXPECT_EQ(by_mode.at(2), "i1 0.000000 0.025000 500.000000 121.510414");
  EXPECT_EQ(lines_of(run("--iterations 1").out).at(2), "i1 0.000000 0.025000 500.000000 121.510475");
  EXPECT_EQ(run("--iterations 0").out, "f1 0 8192 10 1\nf2 0 8193 7 0.0001 8192 1.0\n");
  // Frames: these names here, their pixels in live_window_test.
  ASSERT_EQ(run("--iterations 15 --every 7 --frames pictures").status, 0);
  EXPECT_EQ(files_in(dir / "pictures"), (strings{"000000.png", "000007.png", "000014.png"}));
}

// The readers' own messages are checked in-process (param_file_test,
// event_file_test); here the exit status and what reaches standard error.
// Live play that cannot start writes no score.
TEST_F(render_cli_test, RefusedFilesAndFailedLivePlayExitOneAndUsageErrorsTwo) {
  spit(dir / "binary.csp", std::string("\x7f" "ELF\0\0\x01", 7));
  spit(dir / "bad.orc", "instr 1 garbage\n");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  const struct {
    const char* args;
    int status;
    const char* message;
  } cases[] = {{"--params nowhere.csp", 1, "nowhere.csp: No such file or directory\n"},
               {"--params binary.csp", 1, "No parameters in binary.csp\n"},
               {"--events fifo", 1, "fifo"},  // only regular files: a FIFO would hang
               {"--sound ''", 2, "empty value for --sound"},
               {"--sound no/k.wav", 1, "Can't open file no/k.wav\nNo such file or directory\n"},
               {"--score no/such/dir.sco", 1, "no/such/dir.sco"},
               {"--iterations", 2, "--help"},
               {"--iterations 12x", 2, "--help"},
               {"--iterations ' 5'", 2, "not  5\n"},
               {"--osc-port 1.2.3.4.5:9000 --live", 2, "[ADDRESS:]PORT"},
               {"--reduce median", 2, "--help"},
               {"--iterations 99999999999", 2, "--help"},
               {"--iterations -1", 2, "from 0 to 10000000, not -1\n"},
               {"--iterations 10000001", 2, "from 0 to 10000000, not 10000001\n"},
               {"--scale nowhere.scl", 1, "can't open nowhere.scl\n"},
               {"--kbm binary.csp", 1, "binary.csp:1: no whole number for the map size\n"},
               {"--grain-beats 4", 2, "add --tempo"},
               {"--tempo 0", 2, "from 1 to 1000, not 0\n"},
               {"--tempo 1000 --grain-beats 192", 2, "grains outside 0.001 ... 10 s"},
               {"--sync jack", 2, "add --live"},
               {"--live --sync clock", 2, "jack or midi, not clock\n"},
               {"--live --sync midi --tempo 90", 2, "it does not take --tempo"},
               {"--live --sync jack --rtaudio alsa", 1, "plays on jack only"},
               {"--live --score s.sco --orchestra bad.orc", 1,
                "Live play failed: csound refused the orchestra bad.orc\n"},
               {"--live --score s.sco --rtaudio jack --orchestra '" ZELMORA_ORCHESTRA "'", 1,
                "Live play failed: no audio output (tried jack: no JACK server running)\n"},
               {"--live --score s.sco --orchestra none.orc", 1, "Can't read the orchestra none.orc\n"},
               {"--live --score s.sco --rtaudio nonesuch --orchestra '" ZELMORA_ORCHESTRA "'", 1,
                "no audio module \"nonesuch\"; it has: "}};
  for (const auto& c : cases) {
    const run_result r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "") << c.args;
    EXPECT_FALSE(fs::exists(dir / "s.sco")) << c.args;
  }
  EXPECT_EQ(run("--help").status, 0);
}

// The parsing of scales is tested in-process (tuning_test); here the notes.
TEST_F(render_cli_test, ScoresPlayTheScaleSnapToItsTonesAndKeepTheBeat) {
  std::string tempered_scale = "12-tone\n12\n";
  for (int step = 1; step < 12; ++step) tempered_scale += std::to_string(100 * step) + ".0\n";
  spit(dir / "et.scl", tempered_scale + "2/1\n");
  spit(dir / "just.scl", "just\n7\n9/8\n5/4\n4/3\n3/2\n5/3\n15/8\n2/1\n");
  const auto frequencies = [&](const std::string& args) {
    const run_result r = run(args + " --iterations 40");
    EXPECT_EQ(r.status, 0) << r.err;
    strings hz;
    for (const std::string& line : lines_of(r.out))
      if (line.starts_with("i")) hz.push_back(line.substr(line.rfind(' ') + 1));
    EXPECT_EQ(hz.size(), 1000u) << args;
    return hz;
  };
  std::set<std::string> states;  // the 40 states' tones, as "%f" prints them
  for (int i = 0; i < 40; ++i) {
    std::array<char, 32> text{};
    const auto tone = static_cast<float>(261.625565 * std::exp2(i / 12.0));
    std::snprintf(text.data(), text.size(), "%f", static_cast<double>(tone));
    states.insert(text.data());
  }
  for (const std::string& hz : frequencies("--scale et.scl --reduce mode"))
    EXPECT_TRUE(states.contains(hz)) << hz;
  const std::string varied = " --params '" ZELMORA_EXAMPLES "/spirals.csp'";
  for (const std::string& hz : frequencies("--quantize" + varied)) {  // 12-tone equal at A = 440
    const double semitones = 12.0 * std::log2(std::stod(hz) / 440.0);
    EXPECT_NEAR(semitones, std::round(semitones), 1e-5) << hz;
  }
  const double just[] = {1.0, 9 / 8.0, 1.25, 4 / 3.0, 1.5, 5 / 3.0, 15 / 8.0, 2.0};
  for (const std::string& hz : frequencies("--quantize --scale just.scl" + varied)) {
    const double octaves = std::log2(std::stod(hz) / 261.625565);
    const double within = std::exp2(octaves - std::floor(octaves));
    EXPECT_TRUE(std::any_of(std::begin(just), std::end(just),
                            [&](double r) { return std::abs(within / r - 1.0) < 1e-6; })) << hz;
  }
  // On a beat grid of sixteenths at 100 BPM; an event's dur does not count.
  spit(dir / "slow.cse", "event\ntype=1\ntime=2\nname=slow\ndur=0.050000\nend\n");
  const strings grid = lines_of(run("--tempo 100 --events slow.cse --iterations 1001").out);
  EXPECT_EQ(grid.at(2 + 25 * 3), "i1 0.450000 0.150000 500.000000 121.510475");
  EXPECT_TRUE(grid.back().starts_with("i25 150.000000 0.150000 ")) << grid.back();
}

// The windows' Audio File goes through the same job (offline_job).
TEST_F(render_cli_test, SoundFilesReplaceTheTargetOnlyWhenCsoundSucceededAndNamesAreFiles) {
  spit(dir / "k.wav", "OLD\n");
  const run_result failed = run("--iterations 20 --orchestra nowhere.orc --sound k.wav");
  EXPECT_EQ(failed.status, 1);
  // csound works elsewhere: it is given every name from the root.
  EXPECT_NE(failed.err.find("failed to open input file - " + (dir / "nowhere.orc").string() + "\n"),
            std::string::npos);
  EXPECT_NE(failed.err.find("csound failed with exit status 1\n"), std::string::npos);
  EXPECT_TRUE(failed.err.ends_with("zelmora-render: no sound file made (orchestra nowhere.orc)\n"));
  EXPECT_EQ(slurp(dir / "k.wav"), "OLD\n");
  fs::create_directory(dir / "-o");
  for (const char* name : {"stdout.wav", "-x.wav", "dac", "-o/k.wav", "k.wav"}) {
    const run_result made = run("--iterations 20" + orchestra + " --sound '" + name + "'");
    EXPECT_EQ(made.status, 0) << name << made.err;
    EXPECT_EQ(sample_rate_of(slurp(dir / name)), 44100u) << name;  // unless asked
  }
  EXPECT_EQ(left_in_dir(), (strings{"-o", "-x.wav", "dac", "k.wav", "stdout.wav"}));
  // --rate only for a file.
  ASSERT_EQ(run("--iterations 20" + orchestra + " --rate 96000 --sound r.wav").status, 0);
  EXPECT_EQ(sample_rate_of(slurp(dir / "r.wav")), 96000u);
  EXPECT_EQ(run("--rate 96000 --score r.sco").status, 2);
  EXPECT_EQ(run("--rate 100 --sound r.wav").status, 2);
}

// The percentages a progress display drew, each line redrawn in place,
// csound's stage counted from 100 on; a -1 for anything else it drew.
std::vector<int> percentages_drawn(const std::string& terminal) {
  static const std::regex progress(
      "(Automaton|Sound) ([0-9]+) %( \\([0-9:]+ of [0-9:]+\\))?, [0-9:]+ elapsed, "
      "([0-9]+:[0-9]{2}|--:--) left *");
  std::vector<int> drawn;
  std::smatch match;
  for (std::size_t at = 0; at < terminal.size();) {
    const std::size_t end = std::min(terminal.find_first_of("\r\n", at), terminal.size());
    const std::string piece = terminal.substr(at, end - at);
    if (!piece.empty())
      drawn.push_back(!std::regex_match(piece, match, progress) ? -1
                      : std::stoi(match[2]) + (match[1] == "Sound" ? 100 : 0));
    at = end + 1;
  }
  return drawn;
}

// On a terminal the progress of each stage, csound's read from what it
// says it has rendered, climbs to 100 % on one line that then ends; without a terminal nothing is added; --quiet draws nothing at all.
TEST_F(render_cli_test, ATerminalSeesTheProgressOfTheWholeJobOnOneLine) {
  const std::string sound = "--iterations 4000" + orchestra + " --sound k.wav";
  const run_result shown = run_on_terminal(sound);
  ASSERT_EQ(shown.status, 0) << shown.err;
  const std::vector<int> drawn = percentages_drawn(shown.err);
  ASSERT_FALSE(drawn.empty());
  EXPECT_TRUE(std::is_sorted(drawn.begin(), drawn.end())) << shown.err;
  EXPECT_GE(std::set<int>(drawn.begin(), drawn.end()).size(), 3u) << shown.err;
  EXPECT_GT(std::count_if(drawn.begin(), drawn.end(), [](int p) { return p > 110 && p < 200; }),
            1) << "csound's part moves too";
  EXPECT_EQ(drawn.back(), 200);
  EXPECT_EQ(shown.err.front(), '\r');
  EXPECT_TRUE(shown.err.ends_with("left\r\n")) << shown.err;
  EXPECT_EQ(slurp(dir / "k.wav").substr(0, 4), "RIFF");

  const run_result plain = run(sound);
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.err, "");
  spit(dir / "one.csp", "r1=2.000000\nNs=4\nnoinstrm=1\ns0=440\ni0=250\nend\n");
  const std::string score = "--params one.csp --iterations 50 --score k.sco";
  EXPECT_EQ(run(score).err, "r1=2.000000 \nNs=4\nnoinstrm=1\nr1=2.000000\n");
  EXPECT_EQ(run_on_terminal("--quiet " + score).err, "");
  EXPECT_EQ(left_in_dir(), (strings{"k.sco", "k.wav", "one.csp"}));
}

TEST_F(render_cli_test, ASignalStopsCsoundRemovesTemporariesAndKeepsTheOldFile) {
  const struct {
    int signal_number;
    const char* args;
    bool csound;  // signalled while csound runs, else while the score is written
  } cases[] = {{SIGTERM, "--iterations 40000 --sound k.wav", true},
               {SIGINT, "--iterations 40000 --sound k.wav", true},
               {SIGHUP, "--iterations 400000 --score k.wav", false},
               {SIGQUIT, "--iterations 400000 --score k.wav", false},
               {SIGUSR1, "--iterations 40000 --sound k.wav", true}};
  for (const auto& c : cases) {
    spit(dir / "k.wav", "OLD\n");
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::execl("/bin/sh", "sh", "-c", command(no_jack(c.args + orchestra)).c_str(), nullptr);
      ::_exit(127);
    }
    ASSERT_GT(pid, 0);
    std::vector<pid_t> csound;
    for (int tries = 0; tries < 600; ++tries) {
      if (c.csound ? !(csound = children_of(pid)).empty() : left_in_dir().size() > 1) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the hidden temporary
    }
    EXPECT_EQ(c.csound, !csound.empty()) << c.args;
    ::kill(pid, c.signal_number);
    int raw = 0;
    bool ended = false;
    for (int tries = 0; tries < 100 && !ended; ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      ended = ::waitpid(pid, &raw, WNOHANG) == pid;
    }
    EXPECT_TRUE(ended) << "csound still runs";
    if (!ended) {
      for (const pid_t child : csound) ::kill(child, SIGKILL);
      ::waitpid(pid, &raw, 0);
    }
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 128 + c.signal_number) << c.args << raw;
    EXPECT_EQ(left_in_dir(), strings{"k.wav"}) << c.args;
    EXPECT_EQ(slurp(dir / "k.wav"), "OLD\n");
  }
}

// A working directory deeper than any name the system takes whole: csound
// gets a private file to write, copied into place.
TEST_F(render_cli_test, SoundFilesAreMadeInAFolderOfAnyDepth) {
  const std::string deep = "export TMPDIR=$PWD; d=$(printf 'd%.0s' $(seq 200)); for i in $(seq 25); do mkdir $d && cd -P $d || exit 1; done";
  const run_result r =
      shell(deep + " && " + renderer + orchestra + " --iterations 20 --sound k.wav && test -s k.wav");
  EXPECT_EQ(r.status, 0) << r.err;
}

// Out of address space (the kernel threads cannot be made): said, cleaned
// up, status 1, not an abort. Lower limits fail in the loader, higher ones
// succeed: the first limit that fails is judged.
TEST_F(render_cli_test, AnExceptionAtTheTopIsSaidAndLeavesNoTemporary) {
  spit(dir / "big.csp", "x=1000\ny=1000\nend\n");
  run_result r{};
  r.status = 0;
  for (int limit = 40000; limit >= 10000 && r.status == 0; limit -= 1000)
    r = shell("ulimit -v " + std::to_string(limit) + " && " + renderer +
              " --params big.csp --iterations 3 --score k.sco");
  if (r.status == 127) GTEST_SKIP() << "the loader failed first: " << r.err;
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("zelmora-render: ended by a failure: "), std::string::npos) << r.err;
  for (const std::string& name : left_in_dir()) EXPECT_FALSE(name.starts_with(".zelmora")) << name;
}

TEST_F(render_cli_test, AClosedOutputEndsAVerboseRun) {
  const run_result r = shell("timeout 120 sh -c \"" + renderer + " --verbose --iterations 4000" +
                             orchestra + " --sound v.wav 2>&1 | head -1 >/dev/null\"");
  EXPECT_EQ(r.status, 0);  // 124: timed out
  EXPECT_EQ(left_in_dir(), strings{});
}

}  // namespace
