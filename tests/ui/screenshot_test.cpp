// Pictures of the windows, written to the build directory for a person to
// review; each must be a drawn window of its own size, not a blank rectangle.
#include <memory>

#include "events/event_list.h"
#include "ui_fixture.h"

namespace {

using screenshots = ui_fixture;

void check_screenshot(Widget shell, const std::string& name) {
  XWindowAttributes window{};
  ASSERT_TRUE(pump_until([&] {
    return XtIsRealized(shell) && XGetWindowAttributes(display, XtWindow(shell), &window) &&
           window.map_state == IsViewable;
  })) << name << " was never mapped";
  for (int i = 0; i < 5; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(40)))
    pump();  // the exposures of a freshly mapped window
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
  EXPECT_EQ(std::to_string(width) + "x" + std::to_string(height),
            std::to_string(window.width) + "x" + std::to_string(window.height)) << path;
  EXPECT_GE(colours, 5) << path;  // text, shadows, troughs and fields
}

}  // namespace

TEST_F(screenshots, every_window_is_drawn_at_its_own_size) {
  show_counter(599);
  check_screenshot(Ctrl_pannel, "control_panel");
  Current_State.Ns = Current_State.noinstrm = 100;  // more sliders than fit: a scrolled row
  for (int i = 0; i < 100; ++i) Current_State.states[i] = Current_State.instrm[i] = 30 + i % 50;
  set_all_frequencies();
  set_all_amplitudes();
  press(state_button);
  check_screenshot(states, "states");
  press(instrument_button);
  check_screenshot(instruments, "instruments");
  add_event_params(Current_State, "bells.csp");
  add_event_special();
  set_event_time(2, 120);
  add_event_interp(Current_State, "slow_drift.csp", 120, 220);
  List_Size = 3;
  display_list();
  press(event_button);
  check_screenshot(event_shell, "event_list_editor");
  press(Load_events);
  check_screenshot(load_p_files_shell, "load_parameters");
}
