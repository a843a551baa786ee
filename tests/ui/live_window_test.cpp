// Live play from the Output menu, on Xvfb with ALSA's null device standing
// in for the sound card.
#include <cstdlib>

#include "engine/types.h"  // ui/Xlive.h uses grid_type without including it
#include "ui/Xlive.h"
#include "ui_fixture.h"

namespace {

class live_windows : public ui_fixture {
 protected:
  void SetUp() override {
    ui_fixture::SetUp();
    std::filesystem::create_directories("home");
    spit("home/.asoundrc", "pcm.!default { type null }\n");
    old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", (scratch->path / "home").c_str(), 1);
    Live_Settings.orchestra = ZELMORA_ORCHESTRA;
  }
  void TearDown() override {
    cb_stop_live(nullptr, nullptr, nullptr);
    Live_Settings = live_settings{};
    ::setenv("HOME", old_home.c_str(), 1);
    ui_fixture::TearDown();
  }
  std::string old_home;
};

TEST_F(live_windows, ADurationChangeReachesTheNotesSentAfterItAndStopStops) {
  test_support::temp_stream notes;
  Live_Settings.score = notes.get();
  Current_State.iter = 1000000;
  press(play_live_button);
  ASSERT_TRUE(live_playing());
  EXPECT_FALSE(XtIsSensitive(csound_button));
  ASSERT_TRUE(pump_until([] { return Current_Iteration > 20; }));
  arm(dur_up);  // 0.025 -> 0.026
  const int changed_after = Current_Iteration;
  ASSERT_TRUE(pump_until([&] { return Current_Iteration > changed_after + 20; }));
  press(stop_live_button);
  EXPECT_FALSE(live_playing());
  EXPECT_TRUE(XtIsSensitive(csound_button) && XtIsSensitive(play_live_button));

  const std::string sent = notes.text();
  const auto lines = test_support::lines_of(sent);
  ASSERT_GT(lines.size(), 2u + 25u * (changed_after + 20));
  int wrong = 0;
  for (std::size_t n = 2; n < lines.size(); ++n) {
    const int iteration = static_cast<int>((n - 2) / 25);
    const std::string dur = lines[n].substr(lines[n].find(' ', lines[n].find(' ') + 1) + 1, 8);
    wrong += dur != (iteration <= changed_after ? "0.025000" : "0.026000");
  }
  EXPECT_EQ(wrong, 0);
  pump_until([] { return false; });  // no timer is left to send more
  EXPECT_EQ(notes.text(), sent);
}

}  // namespace
