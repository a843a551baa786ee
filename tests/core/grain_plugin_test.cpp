// How csound gets zelmora's plugin: only for an orchestra that uses the
// opcode, with the real score handed to the opcode and a score of csound's
// own in its workspace.
#include "engine/csound/grain_plugin.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/temporary_file.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::slurp;
using test_support::spit;

TEST(grain_plugin_test, OnlyAnOrchestraThatUsesTheOpcodeOutsideCommentsGetsThePlugin) {
  EXPECT_TRUE(uses_grain_opcode("instr Master\n  a1, a2, k1 zelmora_grains \"\", 0\nendin\n"));
  EXPECT_FALSE(uses_grain_opcode("; zelmora_grains would play the voices\ninstr 1\nendin"));
  EXPECT_FALSE(uses_grain_opcode(""));

  const test_support::working_dir dir("zelmora-plugin-");
  private_directory workspace;
  spit("user.orc", "instr 1\n  a1 oscili p4, p5 ; not zelmora_grains\n  out a1\nendin\n");
  spit("a b's.sco", "f1 0 8192 10 1\ni1 0 0.025 500 440\ni1 3.5 0.025 500 440\n");
  const std::string score = (dir.path / "a b's.sco").string();
  const csound_command plain{{"-d", "-o", "x.wav"}, {(dir.path / "user.orc").string(), score}};
  EXPECT_EQ(with_grain_plugin(plain, workspace).words(), plain.words());
  EXPECT_TRUE(fs::is_empty(workspace.path()));

  spit("grains.orc", "instr Master\n  a1, a2, k1 zelmora_grains gSnotes, 0\nendin\n");
  spit("plugin.so", "");
  ::setenv("ZELMORA_PLUGIN", (dir.path / "plugin.so").c_str(), 1);
  csound_command grains = plain;
  grains.files.front() = (dir.path / "grains.orc").string();
  const std::string driver = workspace.path() + "/zelmora-driver.sco";
  EXPECT_EQ(with_grain_plugin(grains, workspace).words(),
            (std::vector<std::string>{"csound", "--opcode-lib=" + (dir.path / "plugin.so").string(),
                                      "--omacro:ZELMORA_NOTES=zelmora-notes.sco", "-d", "-o",
                                      "x.wav", grains.files.front(), driver}));
  // The opcode reads the score through a link whatever its name; csound
  // makes the score's tables and may run a minute past its last note
  // should the opcode never end it.
  EXPECT_EQ(fs::read_symlink(workspace.path() + "/zelmora-notes.sco"), score);
  EXPECT_EQ(slurp(driver), "f1 0 8192 10 1\nf0 63.500000\n");

  // Without the plugin csound gets the command as it was, and fails on the
  // unknown opcode after the program has said what is missing.
  ::setenv("ZELMORA_PLUGIN", "/nonexistent/zelmora-grains.so", 1);
  private_directory other;
  std::string said = test_support::stderr_of([&] {
    EXPECT_EQ(with_grain_plugin(grains, other).words(), grains.words());
  });
  EXPECT_NE(said.find("Can't find zelmora's csound plugin /nonexistent/zelmora-grains.so"),
            std::string::npos)
      << said;
  ::unsetenv("ZELMORA_PLUGIN");
}

}  // namespace
