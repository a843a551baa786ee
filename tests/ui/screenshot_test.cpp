// Pictures of the windows for a person to review, written to the build
// directory's "screenshots" folder. Each must be a real window of its own
// size with something drawn in it, not a blank rectangle.
#include <memory>

#include "events/event_list.h"
#include "ui_fixture.h"

namespace {

using screenshots = ui_fixture;

// Takes a picture of the window of `shell`, once it is mapped and drawn.
void check_screenshot(Widget shell, const std::string& name, int min_width, int min_height) {
  ASSERT_TRUE(pump_until([&] { return viewable(shell); })) << name << " was never mapped";
  for (int i = 0; i < 5; ++i) {  // the exposures of a freshly mapped window
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    pump();
  }
  XWindowAttributes window{};
  XGetWindowAttributes(display, XtWindow(shell), &window);
  std::filesystem::create_directories(ZELMORA_SCREENSHOT_DIR);
  const std::string path = std::string(ZELMORA_SCREENSHOT_DIR) + "/" + name + ".png";
  std::filesystem::remove(path);
  const std::string take = "import -window " + std::to_string(XtWindow(shell)) + " '" + path + "'";
  ASSERT_EQ(std::system(take.c_str()), 0) << take;

  const std::string describe = "identify -format '%w %h %k' '" + path + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(describe.c_str(), "r"), pclose);
  int width = 0, height = 0, colours = 0;
  ASSERT_TRUE(pipe && std::fscanf(pipe.get(), "%d %d %d", &width, &height, &colours) == 3);
  EXPECT_EQ(width, window.width) << path;
  EXPECT_EQ(height, window.height) << path;
  EXPECT_GE(width, min_width) << path;
  EXPECT_GE(height, min_height) << path;
  // Text, shadows, troughs and fields give a drawn window several colours.
  EXPECT_GE(colours, 5) << path;
}

}  // namespace

TEST_F(screenshots, every_window_is_drawn_at_its_own_size) {
  show_counter(599);
  check_screenshot(Ctrl_pannel, "control_panel", 450, 200);
  press(state_button);
  check_screenshot(states, "states", 600, 150);
  press(instrument_button);
  check_screenshot(instruments, "instruments", 600, 150);
  // A list to show: a change, a reseed and an interpolation.
  add_event_params(Current_State, "bells.csp");
  add_event_special();
  set_event_time(2, 120);
  add_event_interp(Current_State, "slow_drift.csp", 120, 220);
  List_Size = 3;
  display_list();
  press(event_button);
  check_screenshot(event_shell, "event_list_editor", 200, 200);
  press(Load_events);
  check_screenshot(load_p_files_shell, "load_parameters", 250, 250);
}
