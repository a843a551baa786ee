// Saving through a temporary file: the old file survives every failure.
#include <sys/stat.h>

#include "platform/replacing_file.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace test_support;

class replacing_file_test : public ::testing::Test {
 protected:
  static bool save(const fs::path& target, const char* text) {
    replacing_file file(target.string());
    if (!file.stream()) return false;
    std::fputs(text, file.stream());
    return file.commit();
  }
  temp_dir temp{"zelmora-replace-"};
  const fs::path& dir = temp.path;
};

// A failed write, which cleans up as an abandoned one does: dialogs_test's
// saves. Sound files (renderer and windows) are replaced through it too;
// devices and pipes written in place: hostile_targets_test.
TEST_F(replacing_file_test, KeepsPermissionsOwnerAndFollowsSymbolicLinks) {
  const fs::path real = dir / "real.cse";
  const fs::path link = dir / "link.cse";
  spit(real, "old\n");
  ::chmod(real.c_str(), 0640);
  const bool root = ::geteuid() == 0;  // only root may give a file away
  ASSERT_TRUE(!root || ::chown(real.c_str(), 4321, 4322) == 0);
  fs::create_symlink(real, link);
  ASSERT_TRUE(save(link, "new\n"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(slurp(real), "new\n");
  struct stat st {};
  ::stat(real.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_TRUE(!root || (st.st_uid == 4321 && st.st_gid == 4322)) << st.st_uid << ":" << st.st_gid;
}

// A dangling link is written through, its target made, as the shell's ">"
// would: a relative one from the link's folder, a chain of them, and a
// loop refused.
TEST_F(replacing_file_test, DanglingLinksAreCreatedThroughAndLoopsRefused) {
  fs::create_directory(dir / "sub");
  fs::create_symlink("../made.sco", dir / "sub" / "relative");
  fs::create_symlink(dir / "sub" / "relative", dir / "chain");
  fs::create_symlink("loop", dir / "loop");
  ASSERT_TRUE(save(dir / "chain", "new\n"));
  EXPECT_TRUE(fs::is_symlink(dir / "chain") && fs::is_symlink(dir / "sub" / "relative"));
  EXPECT_EQ(slurp(dir / "made.sco"), "new\n");
  EXPECT_FALSE(save(dir / "loop", "x\n"));
  EXPECT_TRUE(fs::is_symlink(dir / "loop"));
}

}  // namespace
