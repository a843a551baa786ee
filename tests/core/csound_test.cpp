// The rendering commands' own logic, and how they run csound.
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "engine/csound.h"
#include "engine/interrupt.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

using test_support::slurp;
using test_support::stderr_of;

// What the shell makes of a word: printf gives back its argument.
std::string through_shell(const std::string& word) {
  std::FILE* pipe = ::popen(("printf '%s' " + shell_word(word)).c_str(), "r");
  std::string out;
  for (int c; (c = std::fgetc(pipe)) != EOF;) out.push_back(static_cast<char>(c));
  ::pclose(pipe);
  return out;
}

// Each test runs in a fresh directory of its own.
class commands_test : public test_support::core_test {
 protected:
  void SetUp() override {
    core_test::SetUp();
    fs::current_path(dir_.path);
  }
  void TearDown() override {
    fs::current_path(old_dir_);
    core_test::TearDown();
  }
  fs::path old_dir_ = fs::current_path();
  test_support::temp_dir dir_{"zelmora-commands-"};
};

TEST(ShellWord, QuotesOnlyWhatTheShellWouldChangeAndTheShellGetsTheNameBack) {
  for (const std::string name : {"out.au", "sounds/take_2-final+loud.wav", "a,b:c@d%e=f"})
    EXPECT_EQ(shell_word(name), name);
  EXPECT_EQ(shell_word("my out.au"), "'my out.au'");
  EXPECT_EQ(shell_word("it's"), "'it'\\''s'");
  EXPECT_EQ(shell_word(""), "''");
  for (const std::string name : {"my out.au", "out.au; touch x", "it's", "''", "a\\b",
                                 "$(touch y)", "`id`", "line\nbreak", "*.wav", "~user", "a\"b"})
    EXPECT_EQ(through_shell(name), name) << name;
  EXPECT_FALSE(fs::exists("y"));
  EXPECT_EQ(sound_file_command("out"), "csound -g -s -h -o out zelmora.orc zelmora.temp.sco");
  EXPECT_EQ(sound_file_command("out.au"),
            "csound -g -s --format=au -o out.au zelmora.orc zelmora.temp.sco");
  EXPECT_EQ(command_words("csound -o 'my out.au' 'it'\\''s' a\\ b"),
            (std::vector<std::string>{"csound", "-o", "my out.au", "it's", "a b"}));
}

TEST_F(commands_test, AudioFileReplacesTheTargetOnlyWhenCsoundSucceeded) {
  Current_State.iter = 20;
  test_support::spit("take.au", "OLD\n");
  // No orchestra here: csound fails, and the old file stays.
  EXPECT_EQ(make_sound_file("take.au"), -1);
  EXPECT_EQ(slurp("take.au"), "OLD\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path), {}), 1);
  fs::copy_file(ZELMORA_ORCHESTRA, orchestra_name);
  EXPECT_EQ(make_sound_file("dac"), 0);  // a file, not the audio device
  EXPECT_GT(fs::file_size("dac"), 1000u);
}

TEST_F(commands_test, ATerminatingSignalStopsCsoundAndRemovesTheTemporaryFiles) {
  fs::copy_file(ZELMORA_ORCHESTRA, orchestra_name);
  test_support::spit("take.au", "OLD\n");
  const pid_t pid = ::fork();
  if (pid == 0) {  // as the windowed program runs Audio File
    stop_cleanly_on({SIGTERM});
    Current_State.iter = 40000;
    ::_exit(make_sound_file("take.au") == 0 ? 0 : 1);
  }
  ASSERT_GT(pid, 0);
  // Once the score and the temporary sound file are well under way.
  const auto under_way = [] {
    std::error_code no_score;
    const auto size = fs::file_size(temp_score_name, no_score);
    return !no_score && size > 1000000;
  };
  for (int tries = 0; tries < 1500 && !under_way(); ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ::kill(pid, SIGTERM);
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 128 + SIGTERM) << raw;
  EXPECT_EQ(slurp("take.au"), "OLD\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path), {}), 2);  // take.au, the orchestra
}

TEST_F(commands_test, AnAbandonedRenderRunsNothingAndLeavesNoScore) {
  Current_State.r1 = 0.0f;
  EXPECT_EQ(stderr_of([] { EXPECT_EQ(render_and_run(temp_score_name, "touch ran"), -1); }),
            "bad parameters to update");
  EXPECT_TRUE(fs::is_empty(dir_.path));  // no score, nothing ran
}

TEST_F(commands_test, AFailedScoreWriteLeavesTheOldScoreFile) {
  test_support::spit("take.sco", "an older score\n");
  // A file size limit makes the writes fail the way a full disk would.
  rlimit old_limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit small = old_limit;
  small.rlim_cur = 16384;
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  score_outcome outcome{};
  const std::string err = stderr_of([&] {
    if (::setrlimit(RLIMIT_FSIZE, &small) != 0) return;
    outcome = write_score_file("take.sco");
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
  });
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(err, "Can't write file take.sco\n");
  EXPECT_EQ(outcome, score_outcome::not_written);
  EXPECT_EQ(slurp("take.sco"), "an older score\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path), {}), 1);  // no temporary left
}

}  // namespace
