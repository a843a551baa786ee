// The rendering commands' own logic, with the shell but without csound:
// quoting, the composed command, what runs after which render, and the
// score file that is replaced only by a complete score.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/csound.h"
#include "engine/externs.h"
#include "events/event_list.h"

namespace fs = std::filesystem;

namespace {

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_text(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

int count_lines(const std::string& text) {
  int lines = 0;
  for (const char c : text) lines += c == '\n';
  return lines;
}

// What the shell makes of a word: printf gives back its argument.
std::string through_shell(const std::string& word) {
  const std::string command = "printf '%s' " + shell_word(word);
  std::FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  for (int c; (c = std::fgetc(pipe)) != EOF;) out.push_back(static_cast<char>(c));
  ::pclose(pipe);
  return out;
}

// Each test runs in a fresh directory of its own, with the default set and
// a short render, echo lines kept out of the output.
class commands_test : public ::testing::Test {
 protected:
  void SetUp() override {
    old_dir_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("zelmora-commands-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
    clear_event_list();
    systeminit();
    Current_State.iter = 4;
    echo_ = std::tmpfile();
    Echo_Stream = echo_;
  }
  void TearDown() override {
    Echo_Stream = stdout;
    std::fclose(echo_);
    fs::current_path(old_dir_);
    fs::remove_all(dir_);
  }
  // Files left in the directory, temporary ones included.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path old_dir_;
  fs::path dir_;
  std::FILE* echo_ = nullptr;
};

using strings = std::vector<std::string>;

}  // namespace

TEST(ShellWord, SafeNamesStandAsTheyAre) {
  for (const std::string name : {"out.au", "sounds/take_2-final+loud.wav", "a,b:c@d%e=f",
                                 "/tmp/x.raw", "UPPER09"})
    EXPECT_EQ(shell_word(name), name);
}

TEST(ShellWord, OtherNamesAreSingleQuoted) {
  EXPECT_EQ(shell_word("my out.au"), "'my out.au'");
  EXPECT_EQ(shell_word("out.au; touch x"), "'out.au; touch x'");
  EXPECT_EQ(shell_word("$HOME"), "'$HOME'");
  EXPECT_EQ(shell_word("it's"), "'it'\\''s'");
  EXPECT_EQ(shell_word(""), "''");
}

TEST(ShellWord, TheShellGetsBackExactlyTheName) {
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
  // No fixed buffer: a long name arrives whole.
  const std::string long_name = std::string(300, 'n') + ".wav";
  EXPECT_EQ(sound_file_command(long_name),
            "csound -g -s -h -o " + long_name + " zelmora.orc zelmora.temp.sco");
}

TEST_F(commands_test, ACompleteRenderIsHandedOverAndThenRemoved) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(render_and_run(temp_score_name, "cp zelmora.temp.sco seen.sco"), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  const std::string seen = read_text("seen.sco");
  EXPECT_EQ(count_lines(seen), 2 + 4 * 25);
  // The last note: instrument 25 of iteration 3, all states at 121.51 Hz.
  const std::string last_line = seen.substr(seen.rfind('\n', seen.size() - 2) + 1);
  EXPECT_EQ(last_line, "i25 0.075000 0.025000 500.000000 121.510475\n");
  EXPECT_EQ(entries(), strings{"seen.sco"});
}

TEST_F(commands_test, AFailingCommandIsReportedWithItsExitStatus) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(render_and_run(temp_score_name, "exit 3"), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "csound failed with exit status 3\n");
  EXPECT_EQ(entries(), strings{});
}

TEST_F(commands_test, AnAbandonedRenderRunsNothingAndLeavesNoScore) {
  Current_State.r1 = 0.0f;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(render_and_run(temp_score_name, "touch ran"), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "bad parameters to update");
  EXPECT_EQ(entries(), strings{});
}

TEST_F(commands_test, AnUnopenableTemporaryScoreRunsNothing) {
  fs::create_directory(temp_score_name);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(render_and_run(temp_score_name, "touch ran"), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Can't open file tempory file\n");
  EXPECT_EQ(entries(), strings{temp_score_name});
}

TEST_F(commands_test, AScoreFileGetsTheWholeScore) {
  write_text("take.sco", "an older score\n");
  EXPECT_EQ(make_score_file("take.sco"), 0);
  const std::string score = read_text("take.sco");
  const std::string start =
      "f1 0 8192 10 1\nf2 0 8193 7 0.0001 8192 1.0\ni1 0.000000 0.025000 500.000000 121.510475\n";
  EXPECT_EQ(score.substr(0, start.size()), start);
  EXPECT_EQ(count_lines(score), 2 + 4 * 25);
  EXPECT_EQ(entries(), strings{"take.sco"});
}

TEST_F(commands_test, AnAbandonedRenderLeavesTheOldScoreFile) {
  write_text("take.sco", "an older score\n");
  Current_State.r2 = 0.0f;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(write_score_file("take.sco"), score_outcome::abandoned);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "bad parameters to update");
  EXPECT_EQ(read_text("take.sco"), "an older score\n");
  EXPECT_EQ(entries(), strings{"take.sco"});
}

TEST_F(commands_test, AFailedWriteLeavesTheOldScoreFile) {
  write_text("take.sco", "an older score\n");
  Current_State.iter = 600;  // far more than the file size limit below
  // A file size limit makes the writes fail the way a full disk would.
  rlimit old_limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit small = old_limit;
  small.rlim_cur = 16384;
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  ::testing::internal::CaptureStderr();
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const score_outcome outcome = write_score_file("take.sco");
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Can't write file take.sco\n");
  EXPECT_EQ(outcome, score_outcome::not_written);
  EXPECT_EQ(read_text("take.sco"), "an older score\n");
  EXPECT_EQ(entries(), strings{"take.sco"});
}

TEST_F(commands_test, AScoreFileThatCannotBeCreatedIsReported) {
  write_text("plain", "a file, not a directory\n");
  fs::create_directory("folder");
  for (const std::string name : {"missing/take.sco", "plain/take.sco", "folder"}) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(make_score_file(name), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Can't open file " + name + "\n");
  }
  EXPECT_EQ(entries(), (strings{"folder", "plain"}));
  EXPECT_TRUE(fs::is_empty("folder"));
}
