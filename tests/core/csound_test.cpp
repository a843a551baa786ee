// The rendering commands' own logic, and how they run csound.
#include "engine/csound.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

using namespace test_support;
using strings = std::vector<std::string>;

// Each test runs in a fresh directory of its own.
class commands_test : public core_test {
 protected:
  working_dir dir_{"zelmora-commands-"};
};

// A quoted name with a blank: orchestra_test's command.
TEST(ShellWord, QuotesOnlyWhatTheShellWouldChangeAndCsoundGetsTheNameBack) {
  EXPECT_EQ(shell_word("sounds/take_2-final+loud,b:c@d%e=f.wav"),
            "sounds/take_2-final+loud,b:c@d%e=f.wav");
  EXPECT_EQ(shell_word("it's"), "'it'\\''s'");
  // csound runs without a shell: the words it gets back are the names.
  for (const std::string name : {"my out.au", "out.au; touch x", "it's", "''", "a\\b",
                                 "$(touch y)", "line\nbreak", "*.wav", "~user", "a\"b"})
    EXPECT_EQ(command_words("csound -o " + shell_word(name)), (strings{"csound", "-o", name}));
  EXPECT_EQ(sound_file_command("out"), "csound -g -s -h -o out zelmora.orc zelmora.temp.sco");
}

// Audio File's replacement of the target, its names and a signal during
// csound are checked through zelmora-render (render_cli_test), which shares
// the code.
TEST_F(commands_test, AnAbandonedRenderRunsNothingAndLeavesNoScore) {
  Current_State.r1 = 0.0f;
  EXPECT_EQ(stderr_of([] { EXPECT_EQ(render_and_run(temp_score_name, "touch ran"), -1); }),
            "bad parameters to update");
  EXPECT_TRUE(fs::is_empty(dir_.path));  // no score, nothing ran
}

TEST_F(commands_test, AFailedScoreWriteLeavesTheOldScoreFile) {
  spit("take.sco", "an older score\n");
  const std::string err = stderr_of([] {
    on_a_full_disk(16384,
                   [] { EXPECT_EQ(write_score_file("take.sco"), score_outcome::not_written); });
  });
  EXPECT_EQ(err, "Can't write file take.sco\n");
  EXPECT_EQ(slurp("take.sco"), "an older score\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path), {}), 1);  // no temporary left
}

}  // namespace
