// Where the sound commands find the orchestra and put their temporary score.
#include "engine/csound/orchestra.h"

#include <optional>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

void set(const char* name, const char* value) {
  if (value)
    ::setenv(name, value, 1);
  else
    ::unsetenv(name);
}

// Runs in a fresh directory with ZELMORA_ORC and TMPDIR under its control.
class orchestra_test : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const auto& [name, value] : saved_) set(name, value ? value->c_str() : nullptr);
  }
  static std::optional<std::string> value_of(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
  }
  const std::pair<const char*, std::optional<std::string>> saved_[2] = {
      {"ZELMORA_ORC", value_of("ZELMORA_ORC")}, {"TMPDIR", value_of("TMPDIR")}};
  test_support::working_dir dir{"zelmora-orchestra-"};
};

TEST_F(orchestra_test, TheVariableWinsThenTheWorkingDirectoryAndAMissingOneIsSaid) {
  const std::string elsewhere = (dir.path / "my orc" / orchestra_name).string();
  fs::create_directory(dir.path / "my orc");
  test_support::spit(elsewhere, "");
  struct {
    const char* variable;
    bool here;
    std::string path;
    std::string said;  // nothing when found
  } const cases[] = {
      {nullptr, true, "zelmora.orc", ""},
      {elsewhere.c_str(), true, elsewhere, ""},
      {"", true, "zelmora.orc", ""},
      {"/missing.orc", true, "/missing.orc",
       "Can't find the orchestra /missing.orc that ZELMORA_ORC names\n"},
      {nullptr, false, "zelmora.orc",
       "Can't find the orchestra zelmora.orc in the working directory or at "},
  };
  for (const auto& c : cases) {
    set("ZELMORA_ORC", c.variable);
    if (c.here)
      test_support::spit(orchestra_name, "");
    else
      fs::remove(orchestra_name);
    const file_location found = find_orchestra();
    EXPECT_EQ(found.path, c.path);
    EXPECT_EQ(found.found, c.said.empty()) << c.path;
    const std::string said = test_support::stderr_of(check_orchestra);
    EXPECT_TRUE(said.starts_with(c.said) && said.empty() == c.said.empty()) << said;
  }
  EXPECT_TRUE(test_support::stderr_of(check_orchestra)
                  .ends_with("/share/zelmora/zelmora.orc; ZELMORA_ORC can name it\n"));
}

// The windows' sound commands use it; zelmora-render makes its own.
TEST_F(orchestra_test, TheScoreGoesToAPrivateDirectoryWhenTheWorkingOneTakesNoFiles) {
  set("TMPDIR", dir.path.c_str());
  EXPECT_EQ(temp_score_place().path(), temp_score_name);
  // A name already there may be a link someone planted: never written through.
  test_support::spit("victim", "OLD\n");
  fs::create_symlink("victim", temp_score_name);
  EXPECT_NE(temp_score_place().path(), temp_score_name);
  EXPECT_EQ(test_support::slurp("victim"), "OLD\n");
  fs::remove(temp_score_name);
  fs::remove("victim");
  fs::current_path("/proc");  // refuses new files, even to root
  {
    const temp_score_place elsewhere;
    const fs::path score = elsewhere.path();
    EXPECT_EQ(score.filename(), temp_score_name);
    EXPECT_EQ(score.parent_path().parent_path(), dir.path);
    EXPECT_EQ(fs::status(score.parent_path()).permissions(), fs::perms::owner_all);
  }
  EXPECT_TRUE(fs::is_empty(dir.path));  // both places cleaned up
}

}  // namespace
