// Audio File and a long Csound score run in the background: the windows
// answer meanwhile, the control panel shows the progress, and Cancel ends
// the job at once, the old file kept and no temporary left.
#include <sstream>

#include "ui/render_job.h"
#include "ui_fixture.h"

namespace {

class render_job : public ui_fixture {
 protected:
  void TearDown() override {
    cb_cancel_render(nullptr, nullptr, nullptr);  // a failed test leaves no csound behind
    ui_fixture::TearDown();
  }
};

// The percentage of csound's stage the progress label shows, -1 when it
// shows none.
int percentage_shown() {
  const std::string text = label_text(render_progress);
  return text.rfind("Sound ", 0) != 0 ? -1 : std::stoi(text.substr(6));
}

// At most a minute on a busy machine.
template <typename Condition>
bool pump_long_until(Condition done) { return pump_until(done, 6000); }

std::vector<pid_t> children() {
  const std::string self = std::to_string(::getpid());
  std::istringstream listed(slurp("/proc/" + self + "/task/" + self + "/children"));
  std::vector<pid_t> pids;
  for (pid_t child = 0; listed >> child;) pids.push_back(child);
  return pids;
}

// The window's pixels as the server has them now.
std::vector<unsigned long> pixels_of(Widget w) {
  XSync(display, False);
  XWindowAttributes shape{};
  XGetWindowAttributes(display, XtWindow(w), &shape);
  XImage* image = XGetImage(display, XtWindow(w), 0, 0, static_cast<unsigned>(shape.width),
                            static_cast<unsigned>(shape.height), AllPlanes, ZPixmap);
  std::vector<unsigned long> pixels;
  for (int y = 0; image && y < image->height; ++y)
    for (int x = 0; x < image->width; ++x) pixels.push_back(XGetPixel(image, x, y));
  if (image) XDestroyImage(image);
  return pixels;
}

Widget audio_file_entry() { return Panel_Menus.audio_file; }

TEST_F(render_job, ALongAudioFileLeavesTheWindowsLiveAndCancelEndsItAtOnce) {
  XtPopup(Ctrl_pannel, XtGrabNone);
  spit("take.wav", "OLD\n");
  Current_State.iter = 8000;  // 200 s of sound
  choose(save_s_files, save_s_filename, "take.wav");
  // While the automaton runs, what it reads is greyed; Cancel is not.
  EXPECT_FALSE(XtIsSensitive(r1));
  EXPECT_FALSE(XtIsSensitive(audio_file_entry()));
  EXPECT_TRUE(XtIsSensitive(cancel_render));

  // Once csound runs the parameters are given back; another render still
  // cannot start.
  pump_long_until([] { return !children().empty() || !render_job_running(); });
  ASSERT_TRUE(render_job_running()) << label_text(render_progress);
  ASSERT_EQ(children().size(), 1u);
  EXPECT_TRUE(XtIsSensitive(r1));
  for (Widget start : {audio_file_entry(), Panel_Menus.audio_output, play_button})
    EXPECT_FALSE(XtIsSensitive(start)) << XtName(start);
  // Widgets of the Instruments window bear the same generated names.
  for (const char* name : {"*widget41", "*widget42"})
    EXPECT_TRUE(XtIsSensitive(XtNameToWidget(instruments, name))) << name;

  // An exposed window is drawn again meanwhile.
  Widget counter_label = find("*widget50");
  const std::vector<unsigned long> drawn = pixels_of(counter_label);
  XClearArea(display, XtWindow(counter_label), 0, 0, 0, 0, True);
  EXPECT_NE(pixels_of(counter_label), drawn);
  EXPECT_TRUE(pump_until([&] { return pixels_of(counter_label) == drawn; }));

  // The progress moves with what csound has rendered.
  ASSERT_TRUE(pump_long_until([] { return percentage_shown() > 2; }));
  const int first = percentage_shown();
  ASSERT_TRUE(pump_long_until([&] { return percentage_shown() > first; }));
  EXPECT_LT(percentage_shown(), 100);
  EXPECT_NE(label_text(render_progress).find(" left"), std::string::npos);
  check_screenshot(Ctrl_pannel, "control_panel_rendering");

  // Cancel returns with csound gone, the old file as it was, nothing left.
  press(cancel_render);
  EXPECT_EQ(children(), std::vector<pid_t>{});  // reaped, not merely orphaned
  EXPECT_EQ(slurp("take.wav"), "OLD\n");
  EXPECT_EQ(test_support::files_in("."), strings{"take.wav"});
  EXPECT_EQ(label_text(render_progress), "Cancelled");
  EXPECT_TRUE(XtIsSensitive(audio_file_entry()));
  EXPECT_FALSE(XtIsSensitive(cancel_render));

  // A job that ends replaces the file.
  Current_State.iter = 40;
  choose(save_s_files, save_s_filename, "take.wav");
  ASSERT_TRUE(pump_long_until([] { return !render_job_running(); }));
  EXPECT_EQ(label_text(render_progress), "Done: take.wav0:01 of sound");
  EXPECT_EQ(slurp("take.wav").substr(0, 4), "RIFF");
  EXPECT_EQ(test_support::files_in("."), strings{"take.wav"});
}

// A score long enough to write in the background can be cancelled too;
// the windows show the parameters its events had reached (the old file
// kept: offline_job_test).
TEST_F(render_job, ALongScoreRunsInTheBackgroundAndCancels) {
  Current_State.iter = 100000;
  choose(csound_output, csound_filename, "long.sco");
  EXPECT_TRUE(render_job_running());
  EXPECT_FALSE(XtIsSensitive(halt_at));
  ASSERT_TRUE(pump_long_until([] { return std::stoi(text_in(counter)) > 0; }));
  EXPECT_EQ(label_text(render_progress).rfind("Automaton ", 0), 0u);
  press(cancel_render);
  EXPECT_FALSE(render_job_running());
  EXPECT_TRUE(XtIsSensitive(halt_at));
  EXPECT_GT(std::stoi(text_in(counter)), 0);
}

}  // namespace
