// The rendering commands' own logic, with the shell but without csound:
// quoting, the composed command, what runs after which render, and the
// score file that is replaced only by a complete score.
#include <sys/resource.h>

#include <algorithm>
#include <csignal>

#include "engine/csound.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

using test_support::slurp;
using test_support::spit;
using test_support::stderr_of;
using strings = std::vector<std::string>;

std::size_t count_lines(const std::string& text) {
  return std::count(text.begin(), text.end(), '\n');
}

// What the shell makes of a word: printf gives back its argument.
std::string through_shell(const std::string& word) {
  std::FILE* pipe = ::popen(("printf '%s' " + shell_word(word)).c_str(), "r");
  std::string out;
  for (int c; (c = std::fgetc(pipe)) != EOF;) out.push_back(static_cast<char>(c));
  ::pclose(pipe);
  return out;
}

// Each test runs in a fresh directory of its own with a 4-iteration render
// of the default set.
class commands_test : public test_support::core_test {
 protected:
  void SetUp() override {
    core_test::SetUp();
    fs::current_path(dir_.path);
    Current_State.iter = 4;
  }
  void TearDown() override {
    fs::current_path(old_dir_);
    core_test::TearDown();
  }
  // Files left in the directory, temporary ones included.
  strings entries() const {
    strings names;
    for (const auto& e : fs::directory_iterator(dir_.path)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  fs::path old_dir_ = fs::current_path();
  test_support::temp_dir dir_{"zelmora-commands-"};
};

TEST(ShellWord, QuotesOnlyWhatTheShellWouldChangeAndTheShellGetsTheNameBack) {
  for (const std::string name : {"out.au", "sounds/take_2-final+loud.wav", "a,b:c@d%e=f",
                                 "/tmp/x.raw", "UPPER09"})
    EXPECT_EQ(shell_word(name), name);
  EXPECT_EQ(shell_word("my out.au"), "'my out.au'");
  EXPECT_EQ(shell_word("out.au; touch x"), "'out.au; touch x'");
  EXPECT_EQ(shell_word("$HOME"), "'$HOME'");
  EXPECT_EQ(shell_word("it's"), "'it'\\''s'");
  EXPECT_EQ(shell_word(""), "''");
  for (const std::string name :
       {"my out.au", "out.au; touch x", "it's", "''", "a\\b", "$(touch y)", "`id`",
        "tab\there", "line\nbreak", "*.wav", "~user", "-", "a\"b", "!x&y|z>w<v"})
    EXPECT_EQ(through_shell(name), name) << name;
  EXPECT_FALSE(fs::exists("y"));
}

TEST(SoundFileCommand, InsertsTheNameIntoTheCsoundCommandLine) {
  EXPECT_EQ(sound_file_command("out.au"), "csound -g -s -h -o out.au zelmora.orc zelmora.temp.sco");
  EXPECT_EQ(sound_file_command("my out.au"),
            "csound -g -s -h -o 'my out.au' zelmora.orc zelmora.temp.sco");
  const std::string long_name = std::string(300, 'n') + ".wav";  // no fixed buffer
  EXPECT_EQ(sound_file_command(long_name),
            "csound -g -s -h -o " + long_name + " zelmora.orc zelmora.temp.sco");
}

TEST_F(commands_test, ACompleteRenderIsHandedOverAndThenRemoved) {
  EXPECT_EQ(stderr_of([] {
    EXPECT_EQ(render_and_run(temp_score_name, "cp zelmora.temp.sco seen.sco"), 0);
  }), "");
  const std::string seen = slurp("seen.sco");
  EXPECT_EQ(count_lines(seen), 2u + 4 * 25);
  // The last note: instrument 25 of iteration 3, all states at 121.51 Hz.
  EXPECT_EQ(seen.substr(seen.rfind('\n', seen.size() - 2) + 1),
            "i25 0.075000 0.025000 500.000000 121.510475\n");
  EXPECT_EQ(entries(), strings{"seen.sco"});
}

TEST_F(commands_test, FailedCommandsAndRendersRunNothingAndLeaveNoScore) {
  EXPECT_EQ(stderr_of([] { EXPECT_EQ(render_and_run(temp_score_name, "exit 3"), -1); }),
            "csound failed with exit status 3\n");
  EXPECT_EQ(entries(), strings{});
  Current_State.r1 = 0.0f;
  EXPECT_EQ(stderr_of([] { EXPECT_EQ(render_and_run(temp_score_name, "touch ran"), -1); }),
            "bad parameters to update");
  EXPECT_EQ(entries(), strings{});
  fs::create_directory(temp_score_name);
  EXPECT_EQ(stderr_of([] { EXPECT_EQ(render_and_run(temp_score_name, "touch ran"), -1); }),
            "Can't open file tempory file\n");
  EXPECT_EQ(entries(), strings{temp_score_name});
}

TEST_F(commands_test, AScoreFileGetsTheWholeScore) {
  spit("take.sco", "an older score\n");
  EXPECT_EQ(make_score_file("take.sco"), 0);
  const std::string score = slurp("take.sco");
  const std::string start =
      "f1 0 8192 10 1\nf2 0 8193 7 0.0001 8192 1.0\ni1 0.000000 0.025000 500.000000 121.510475\n";
  EXPECT_EQ(score.substr(0, start.size()), start);
  EXPECT_EQ(count_lines(score), 2u + 4 * 25);
  EXPECT_EQ(entries(), strings{"take.sco"});
}

TEST_F(commands_test, AnAbandonedRenderOrAFailedWriteLeavesTheOldScoreFile) {
  spit("take.sco", "an older score\n");
  Current_State.r2 = 0.0f;
  EXPECT_EQ(stderr_of([] { EXPECT_EQ(write_score_file("take.sco"), score_outcome::abandoned); }),
            "bad parameters to update");
  EXPECT_EQ(slurp("take.sco"), "an older score\n");
  EXPECT_EQ(entries(), strings{"take.sco"});

  // A file size limit makes the writes fail the way a full disk would.
  Current_State.r2 = 1.2f;
  Current_State.iter = 600;
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
  EXPECT_EQ(entries(), strings{"take.sco"});
}

TEST_F(commands_test, AScoreFileThatCannotBeCreatedIsReported) {
  spit("plain", "a file, not a directory\n");
  fs::create_directory("folder");
  for (const std::string name : {"missing/take.sco", "plain/take.sco", "folder"})
    EXPECT_EQ(stderr_of([&] { EXPECT_EQ(make_score_file(name), -1); }),
              "Can't open file " + name + "\n");
  EXPECT_EQ(entries(), (strings{"folder", "plain"}));
  EXPECT_TRUE(fs::is_empty("folder"));
}

}  // namespace
