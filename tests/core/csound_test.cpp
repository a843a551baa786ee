// The rendering commands' own logic, and how they run csound.
#include "engine/csound/csound.h"
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
TEST(ShellWord, CsoundGetsEveryNameBackAndAPlainNameStaysUnquoted) {
  // csound runs without a shell: the words it gets back are the names.
  for (const std::string name : {"my out.au", "out.au; touch x", "it's", "''", "a\\b",
                                 "$(touch y)", "line\nbreak", "*.wav", "~user", "a\"b"})
    EXPECT_EQ(command_words("csound -o " + shell_word(name)), (strings{"csound", "-o", name}));
  // csound works in a directory of its own: the names are from the root.
  const std::string here = fs::current_path().string() + "/";
  EXPECT_EQ(sound_file_command("out"), "csound -g -s -h --omacro:ZELMORA_16BIT=1 -o " +
                                           shell_word(here + "out") + " " +
                                           shell_word(here + "zelmora.orc") + " " +
                                           shell_word(here + "zelmora.temp.sco"));
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

}  // namespace
