// The rendering commands' own logic, and how they run csound.
#include "engine/csound/offline_job.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

using namespace test_support;

// Each test runs in a fresh directory of its own.
class commands_test : public core_test {
 protected:
  working_dir dir_{"zelmora-commands-"};
};

// csound gets every name as one word; the text shown for a command is what
// a shell would split back into those words.
TEST_F(commands_test, EveryNameIsOneWordAndTheShownTextSplitsBackIntoThem) {
  for (const std::string name : {"my out.au", "out.au; touch x", "it's", "''", "a\\b",
                                 "$(touch y)", "line\nbreak", "*.wav", "~user", "a\"b", "-x"}) {
    const csound_command command = sound_file_command(name);
    const std::vector<std::string> words = command.words();
    ASSERT_EQ(std::count(words.begin(), words.end(), as_file_name(name)), 1) << name;
    ASSERT_EQ(std::system(("set -- " + command.text() + "; printf '%s|' \"$@\" >words").c_str()), 0);
    std::string joined;
    for (const std::string& word : words) joined += word + "|";
    EXPECT_EQ(slurp("words"), joined) << name;
  }
  EXPECT_EQ(files_in("."), std::vector<std::string>{"words"});  // nothing ran
  // csound works in a directory of its own: the names are from the root.
  const std::string here = fs::current_path().string() + "/";
  EXPECT_EQ(sound_file_command("out").text(),
            "csound -g -s -h --omacro:ZELMORA_16BIT=1 -o " + here + "out " + here +
                "zelmora.orc " + here + "zelmora.temp.sco");
  EXPECT_EQ(play_command("s.sco").text(),
            "csound -o devaudio " + here + "zelmora.orc " + here + "s.sco");
}

TEST_F(commands_test, AnAbandonedRenderRunsNothingAndLeavesNoScore) {
  spit("zelmora.orc", "instr 1\nendin\n");
  Current_State.r1 = 0.0f;
  EXPECT_EQ(stderr_of([] { EXPECT_EQ(make_sound_file("out.wav"), -1); }),
            "bad parameters to update");
  EXPECT_EQ(files_in("."), std::vector<std::string>{"zelmora.orc"});  // no score, no sound
}

}  // namespace
