// zelmora-render aimed at what a careless user or an attacker offers it:
// devices, pipes and descriptors as targets, planted links and files,
// a killed program, a file size limit. Devices and pipes are made here, in
// the test's own directory.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "render_fixture.h"

namespace {

class hostile_targets_test : public render_fixture {
 protected:
  const std::string render = renderer + orchestra;
};

bool is_alive(pid_t pid) {
  const std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
  const auto state = stat.rfind(')');
  return state != std::string::npos && stat.size() > state + 2 && stat[state + 2] != 'Z';
}

// csound's output is its own private file; its bytes go to the target,
// which stays what it was and, opened for appending, is appended to.
TEST_F(hostile_targets_test, DevicesPipesAndStandardOutputAreWrittenInPlace) {
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  // A pipe's reader once saw its end before csound wrote, and csound hung.
  EXPECT_EQ(
      shell("(cat pipe >got.wav &) && timeout 60 " + render + " --iterations 20 --sound pipe").status,
      0);
  poll_until([&] { return sample_rate_of(slurp(dir / "got.wav")) != 0; }, 100);  // cat may still write
  EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
  EXPECT_EQ(sample_rate_of(slurp(dir / "got.wav")), 44100u);
  // A reader still waiting (the render failed before opening) is let go.
  if (const int fd = ::open((dir / "pipe").c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) ::close(fd);

  spit(dir / "log", "OLD\n");
  EXPECT_EQ(shell(render + " --iterations 2 --score /dev/stdout >>log && " + render +
                  " --iterations 20 --sound /dev/stdout >>log").status,
            0);
  const std::string log = slurp(dir / "log");
  EXPECT_TRUE(log.starts_with("OLD\nf1 0 8192 10 1\n")) << log.substr(0, 80);
  EXPECT_EQ(sample_rate_of(log.substr(log.find("RIFF"))), 44100u);

  // A character device needs root to make: the null device's numbers.
  if (::mknod((dir / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0) {
    EXPECT_EQ(shell(render + " --iterations 20 --sound null").status, 0) << slurp(dir / "stderr");
    EXPECT_TRUE(fs::is_character_file(dir / "null"));
  }
  fs::remove(dir / "null");
  EXPECT_EQ(left_in_dir(), (strings{"got.wav", "log", "pipe"}));
}

// csound runs in a directory of its own, so a ./.csound6rc here (which
// could load any library) is not read; and it ends when the program is
// killed, instead of spinning on a pipe no one reads.
TEST_F(hostile_targets_test, CsoundReadsNothingHereAndDiesWithTheProgram) {
  spit(dir / ".csound6rc", "-r 8000 -k 800\n");
  EXPECT_EQ(shell(render + " --iterations 20 --sound k.wav").status, 0);
  EXPECT_EQ(sample_rate_of(slurp(dir / "k.wav")), 44100u);

  EXPECT_EQ(shell(render + " --iterations 400000 --sound big.wav & "
                           "for i in $(seq 600); do c=$(cat /proc/$!/task/$!/children); "
                           "[ -n \"$c\" ] && break; sleep 0.05; done; "
                           "echo $c >csound; kill -KILL $!")
                .status,
            0);
  const pid_t csound = std::atoi(slurp(dir / "csound").c_str());
  ASSERT_GT(csound, 0);
  EXPECT_TRUE(poll_until([&] { return !is_alive(csound); }, 2000));
  if (is_alive(csound)) ::kill(csound, SIGKILL);
}

// A frame's name is a link planted before the render: the link is replaced
// by the frame, what it pointed to is untouched. Interrupted while writing
// frames: every frame there is whole, no temporary is left.
TEST_F(hostile_targets_test, FramesReplacePlantedLinksAndAreWholeWhenInterrupted) {
  spit(dir / "victim", "OLD\n");
  fs::create_directory(dir / "frames");
  fs::create_symlink("../victim", dir / "frames" / "000000.png");
  EXPECT_EQ(shell(render + " --iterations 100000 --frames frames --score k.sco & "
                           "until [ -e frames/000200.png ]; do sleep 0.01; done; kill -TERM $!; "
                           "wait $!; [ $? -eq 143 ]")
                .status,
            0);
  EXPECT_EQ(slurp(dir / "victim"), "OLD\n");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "frames" / "000000.png")));
  const strings frames = files_in(dir / "frames");
  EXPECT_GE(frames.size(), 200u);
  for (const std::string& name : frames) {
    ASSERT_TRUE(name.ends_with(".png") && !name.starts_with(".")) << name;
    EXPECT_TRUE(slurp(dir / "frames" / name).ends_with(std::string("IEND\xae\x42\x60\x82", 8)))
        << name;
  }
  EXPECT_EQ(left_in_dir(), (strings{"frames", "victim"}));
}

// In a shared sticky directory a link someone else owns is not followed,
// as the kernel would refuse it; one's own link is. Making a link someone
// else owns takes root.
TEST_F(hostile_targets_test, OthersLinksInASharedStickyDirectoryAreNotFollowed) {
  const fs::path shared = dir / "shared";
  fs::create_directory(shared);
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
  spit(dir / "victim", "OLD\n");
  fs::create_symlink("../victim", shared / "k.sco");
  if (::lchown((shared / "k.sco").c_str(), 4242, 4242) != 0 || ::geteuid() == 4242)
    GTEST_SKIP() << "a link of another user needs root";
  fs::create_directory(dir / "victims");
  fs::create_symlink("../victims", shared / "frames");
  ASSERT_EQ(::lchown((shared / "frames").c_str(), 4242, 4242), 0);
  for (const char* args : {"--score shared/k.sco", "--sound shared/k.sco", "--frames shared/frames"})
    EXPECT_EQ(shell(render + " --iterations 20 " + args + " >/dev/null").status, 1) << args;
  EXPECT_EQ(slurp(dir / "victim"), "OLD\n");
  EXPECT_TRUE(fs::is_empty(dir / "victims"));
  ASSERT_EQ(::lchown((shared / "k.sco").c_str(), ::geteuid(), ::getegid()), 0);
  EXPECT_EQ(shell(render + " --iterations 1 --score shared/k.sco").status, 0);
  EXPECT_TRUE(slurp(dir / "victim").starts_with("f1 0 8192 10 1\n"));
}

// An orchestra csound would hang on, or read without end, is refused
// before anything runs; a name that looks like an option is a file.
TEST_F(hostile_targets_test, OnlyARegularOrchestraOfSaneSizeIsTakenWhateverItsName) {
  ASSERT_EQ(::mkfifo((dir / "pipe.orc").c_str(), 0600), 0);
  spit(dir / "huge.orc", "");
  fs::resize_file(dir / "huge.orc", std::uintmax_t{17} << 20);  // sparse: no disk used
  const std::pair<const char*, const char*> cases[] = {
      {"--orchestra pipe.orc --sound k.wav", "The orchestra pipe.orc is not a regular file\n"},
      {"--orchestra pipe.orc --live", "The orchestra pipe.orc is not a regular file\n"},
      {"--orchestra huge.orc --sound k.wav", "The orchestra huge.orc is larger than 16 MiB\n"}};
  for (const auto& [args, message] : cases) {
    EXPECT_EQ(shell("timeout 60 " + render + " --iterations 20 " + args).status, 1) << args;
    EXPECT_NE(slurp(dir / "stderr").find(message), std::string::npos) << slurp(dir / "stderr");
  }
  fs::copy_file(ZELMORA_ORCHESTRA, dir / "-x.orc");
  EXPECT_EQ(shell(render + " --iterations 20 --orchestra -x.orc --sound k.wav").status, 0)
      << slurp(dir / "stderr");
  EXPECT_EQ(sample_rate_of(slurp(dir / "k.wav")), 44100u);
}

// A grid smaller than one block renders silence: said, not an error.
TEST_F(hostile_targets_test, AGridSmallerThanOneBlockIsSaidToBeSilent) {
  spit(dir / "tiny.csp", "x=4\ny=9\nend\n");
  spit(dir / "small.csp", "x=5\ny=5\nend\n");
  const run_result tiny = shell(render + " --params tiny.csp --iterations 2 --score tiny.sco");
  EXPECT_EQ(tiny.status, 0);
  EXPECT_NE(tiny.err.find("Warning: the 4 x 9 grid is smaller than its 5 x 5 blocks "
                          "(25 instruments); the render will be silent\n"),
            std::string::npos) << tiny.err;
  const run_result small = shell(render + " --params small.csp --iterations 2 --score small.sco");
  EXPECT_EQ(small.status, 0);
  EXPECT_EQ(small.err.find("Warning"), std::string::npos);
}

// File size limits as a full disk (and a descriptor limit): csound's writes of the sound file fail
// (in 512-byte blocks: the score fits under it), or the score outgrows it
// and SIGXFSZ ends the run as SIGTERM does. The temporary is removed, the
// old file kept; replaced files keep their owner: replacing_file_test.
TEST_F(hostile_targets_test, AFileSizeLimitKeepsTheOldFile) {
  const struct {
    const char* limit;
    const char* args;
    int status;
    const char* said;
  } cases[] = {{"ulimit -f 1300 && trap '' XFSZ", "--iterations 400 --sound k.wav", 1,
                "csound failed with exit status 1\n"},
               {"ulimit -f 100", "--iterations 4000 --score k.wav", 128 + SIGXFSZ, ""},
               // No descriptors for csound's pipe: not "exit status 127".
               {"exec 3>&- 4>&- 5>&- 6>&- 7>&- 8>&- 9>&- && ulimit -n 4", "--iterations 20 --sound k.wav", 1,
                "csound could not be started: Too many open files\n"}};
  for (const auto& c : cases) {
    spit(dir / "k.wav", "OLD\n");
    const run_result r = shell(c.limit + (" && " + render + " ") + c.args);
    EXPECT_EQ(r.status, c.status) << c.args;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(left_in_dir(), strings{"k.wav"});
    EXPECT_EQ(slurp(dir / "k.wav"), "OLD\n");
  }
}

}  // namespace
