// The windowed program under a session manager of the test's own: opening a
// session shows its set, saving writes what the windows hold (the client's
// messages and replies: control_test).
#include "tests/core/session_manager.h"
#include "ui/midi_learn.h"
#include "ui_fixture.h"

namespace {

using session = ui_fixture;

TEST_F(session, OpenShowsTheSessionsSetAndSaveWritesWhatTheWindowsHold) {
  session_manager manager;
  ::setenv("NSM_URL", manager.url().c_str(), 1);
  start_outside_control_windows(Ctrl_pannel);
  ::unsetenv("NSM_URL");
  ASSERT_TRUE(manager.hear(1, pump));

  const std::string folder = (scratch->path / "zelmora.nABC").string();
  std::filesystem::create_directories(folder);
  parameters_type saved = Current_State;
  saved.r1 = 7.0f;
  write_set(folder + "/parameters.csp", saved);
  manager.open(folder);
  ASSERT_TRUE(manager.hear(2, pump));
  EXPECT_TRUE(pump_until([] { return scale_value(r1) == 700; })) << panel();

  move_scale(r1, 300);
  manager.save();
  ASSERT_TRUE(manager.hear(3, pump));
  EXPECT_NE(slurp(folder + "/parameters.csp").find("r1=3.000000"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(folder + "/events.cse"));
  EXPECT_TRUE(std::filesystem::exists(folder + "/bindings"));
}

}  // namespace
