// zelmora-render run as a separate process, so every render is the first
// after program start.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "../core/test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::lines_of;
using test_support::slurp;
using test_support::spit;

struct run_result {
  int status = -1;
  std::string out, err;
};

class render_cli_test : public ::testing::Test {
 protected:
  run_result run(const std::string& arguments, bool portable = false) const {
    const std::string command = "cd '" + dir.string() + "' && " +
                                (portable ? "ZELMORA_PORTABLE=1 " : "") + "'" ZELMORA_RENDER "' " +
                                arguments + " >stdout 2>stderr";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir / "stdout"), slurp(dir / "stderr")};
  }
  // The renderer started in `dir` (also its TMPDIR), its process id.
  pid_t start(const std::string& arguments) const {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("TMPDIR", dir.c_str(), 1);
      const std::string command = "cd '" + dir.string() + "' && exec '" ZELMORA_RENDER "' " +
                                  arguments + " >stdout 2>stderr";
      ::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
      ::_exit(127);
    }
    return pid;
  }
  // What is in `dir` besides the renderer's own output files.
  std::vector<std::string> left_in_dir() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
      if (entry.path().filename() != "stdout" && entry.path().filename() != "stderr")
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  const std::string orchestra = " --orchestra '" ZELMORA_ORCHESTRA "'";
  test_support::temp_dir temp{"zelmora-cli-"};
  const fs::path& dir = temp.path;
};

// The child processes of `parent`, from /proc.
std::vector<pid_t> children_of(pid_t parent) {
  std::vector<pid_t> children;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string stat = slurp(entry.path() / "stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent)
      children.push_back(std::stoi(entry.path().filename().string()));
  }
  return children;
}

template <typename Ready>
bool wait_until(Ready ready) {
  for (int tries = 0; tries < 600; ++tries, std::this_thread::sleep_for(std::chrono::milliseconds(50)))
    if (ready()) return true;
  return false;
}

TEST_F(render_cli_test, DefaultsGiveTheFirstRenderAfterStartUpOnStdoutOrInAFile) {
  const run_result mean = run("");
  ASSERT_EQ(mean.status, 0) << mean.err;
  const auto lines = lines_of(mean.out);
  ASSERT_EQ(lines.size(), 15002u);
  EXPECT_EQ(lines[2], "i1 0.000000 0.025000 500.000000 121.510475");
  EXPECT_EQ(mean.err, "");  // nothing echoed without files
  const auto mode = lines_of(run("--reduce mode").out);
  ASSERT_EQ(mode.size(), 15002u);
  EXPECT_EQ(mode[2], "i1 0.000000 0.025000 500.000000 121.510414");
  ASSERT_EQ(run("--score out.sco").status, 0);
  EXPECT_EQ(slurp(dir / "out.sco"), mean.out);
}

TEST_F(render_cli_test, ParameterFilesAndEventListsAreLoadedAsTheDialogsLoadThem) {
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
  // Echo lines go to standard error, keeping the score clean.
  EXPECT_NE(r.err.find("r1=2.000000 \n"), std::string::npos);
  EXPECT_NE(r.err.find("wail\n"), std::string::npos);
}

TEST_F(render_cli_test, RefusedFilesExitOneAndUsageErrorsTwo) {
  spit(dir / "bad.csp", "Ns=500\nend\n");
  spit(dir / "bad.cse", "not an event list\n");
  spit(dir / "binary.csp", std::string("\x7f" "ELF\0\0\x01", 7));
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  const struct {
    const char* args;
    int status;
    const char *name, *message;
  } cases[] = {{"--params nowhere.csp", 1, "nowhere.csp", ""},
               {"--params bad.csp", 1, "bad.csp", "Parameter out of range: Ns=500\n"},
               {"--events bad.cse", 1, "bad.cse", "bad start\nFormat error in event list\n"},
               {"--params binary.csp", 1, "binary.csp", "No parameters in binary.csp\n"},
               {"--params /dev/zero", 1, "/dev/zero", ""},
               {"--events fifo", 1, "fifo", ""},
               {"--params ''", 2, "empty value for --params", ""},
               {"--sound ''", 2, "empty value for --sound", ""},
               {"--score no/such/dir.sco", 1, "no/such/dir.sco", ""},
               {"--bogus", 2, "--help", ""},
               {"--iterations", 2, "--help", ""},
               {"--iterations 12x", 2, "--help", ""},
               {"--reduce median", 2, "--help", ""},
               {"--iterations 99999999999", 2, "--help", ""}};
  for (const auto& c : cases) {
    const run_result r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args;
    EXPECT_NE(r.err.find(c.name), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "") << c.args;
  }
  const run_result help = run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--params FILE.csp"), std::string::npos);
  EXPECT_EQ(run("--iterations 0").out, "f1 0 8192 10 1\nf2 0 8193 7 0.0001 8192 1.0\n");
}

TEST_F(render_cli_test, SoundFilesReplaceTheTargetOnlyWhenCsoundSucceededAndNamesAreFiles) {
  spit(dir / "k.wav", "OLD\n");
  const run_result failed = run("--iterations 20 --orchestra nowhere.orc --sound k.wav");
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("csound failed with exit status"), std::string::npos) << failed.err;
  EXPECT_EQ(slurp(dir / "k.wav"), "OLD\n");
  fs::create_directory(dir / "-o");
  for (const char* name : {"stdout.wav", "-x.wav", "dac", "-o/k.wav", "k.wav"}) {
    const run_result made = run("--iterations 20" + orchestra + " --sound '" + name + "'");
    EXPECT_EQ(made.status, 0) << name << made.err;
    EXPECT_EQ(slurp(dir / name).substr(0, 4), "RIFF") << name;
  }
  EXPECT_EQ(left_in_dir(), (std::vector<std::string>{"-o", "-x.wav", "dac", "k.wav", "stdout.wav"}));
}

TEST_F(render_cli_test, ASignalStopsCsoundRemovesTemporariesAndKeepsTheOldFile) {
  const struct {
    int signal_number;
    const char* args;
    bool csound;  // signalled while csound runs, else while the score is written
  } cases[] = {{SIGTERM, "--iterations 40000 --sound k.wav", true},
               {SIGINT, "--iterations 40000 --sound k.wav", true},
               {SIGHUP, "--iterations 400000 --score k.wav", false}};
  for (const auto& c : cases) {
    spit(dir / "k.wav", "OLD\n");
    const pid_t pid = start(c.args + orchestra);
    ASSERT_GT(pid, 0);
    std::vector<pid_t> csound;
    const bool ready = wait_until([&] {
      if (c.csound) return !(csound = children_of(pid)).empty();
      return left_in_dir().size() > 1;  // the hidden temporary beside k.wav
    });
    EXPECT_TRUE(ready) << c.args;
    ::kill(pid, c.signal_number);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 128 + c.signal_number) << c.args << raw;
    for (const pid_t child : csound) EXPECT_NE(::kill(child, 0), 0) << "csound still runs";
    EXPECT_EQ(left_in_dir(), std::vector<std::string>{"k.wav"}) << c.args;
    EXPECT_EQ(slurp(dir / "k.wav"), "OLD\n");
  }
}

TEST_F(render_cli_test, AClosedOutputEndsAVerboseRun) {
  const std::string command = "cd '" + dir.string() + "' && TMPDIR=. timeout 120 sh -c \"'" +
                              ZELMORA_RENDER "' --verbose --iterations 4000" + orchestra +
                              " --sound v.wav 2>&1 | head -1 >/dev/null\"";
  const int raw = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << raw;  // 124: timed out
  EXPECT_EQ(left_in_dir(), std::vector<std::string>{});
}

TEST_F(render_cli_test, AFullDiskOrAnotherOwnerKeepsWhatWasThere) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root for a small tmpfs and chown";
  const fs::path small = dir / "small";
  fs::create_directory(small);
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "no tmpfs may be mounted here";
  struct unmount_at_end {
    const fs::path& where;
    ~unmount_at_end() { ::umount(where.c_str()); }
  } unmount{small};
  spit(small / "k.wav", "OLD\n");
  ASSERT_EQ(::chown((small / "k.wav").c_str(), 4321, 4322), 0);
  EXPECT_EQ(run("--iterations 400" + orchestra + " --sound small/k.wav").status, 1);
  EXPECT_EQ(slurp(small / "k.wav"), "OLD\n");
  ASSERT_EQ(run("--iterations 2 --score small/k.wav").status, 0);
  struct stat st {};
  ::stat((small / "k.wav").c_str(), &st);
  EXPECT_EQ(st.st_uid, 4321u);
  EXPECT_EQ(st.st_gid, 4322u);
  EXPECT_EQ(std::distance(fs::directory_iterator(small), {}), 1);
}

TEST_F(render_cli_test, PortableKernelsGiveTheSameScoresAsTheVectorOnes) {
  const std::string examples = ZELMORA_EXAMPLES;
  for (const std::string& args :
       {"--params " + examples + "/spirals.csp --reduce mode",
        "--params " + examples + "/turbulence.csp",
        "--events " + examples + "/calm-to-storm.cse"}) {
    const run_result vector = run(args + " --iterations 300");
    const run_result portable = run(args + " --iterations 300", true);
    ASSERT_EQ(vector.status, 0) << args << vector.err;
    EXPECT_GT(vector.out.size(), 1000u);
    EXPECT_TRUE(vector.out == portable.out) << args;
  }
}

}  // namespace
