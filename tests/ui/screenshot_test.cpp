// Pictures of the windows for a person to review, written to the build
// directory's "screenshots" folder. Each must be a real window of its own
// size with something drawn in it, not a blank rectangle.
#include <functional>
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
  const struct {
    const char* name;
    Widget shell;
    int min_width, min_height;
    std::function<void()> show;
  } windows[] = {
      {"control_panel", Ctrl_pannel, 450, 200, [] { show_counter(599); }},
      {"states", states, 600, 150, [] { press(state_button); }},
      {"instruments", instruments, 600, 150, [] { press(instrument_button); }},
      {"event_list_editor", event_shell, 200, 200,
       [] {
         parameters_type bells = Current_State;
         add_event_params(bells, "bells.csp");
         add_event_special();
         set_event_time(2, 120);
         add_event_interp(bells, "slow_drift.csp", 120, 220);
         List_Size = 3;
         display_list();
         press(event_button);
       }},
      {"load_parameters", load_p_files_shell, 250, 250,
       [] {
         for (const char* name : {"default.csp", "bells.csp", "slow_drift.csp"}) spit(name, "end\n");
         const std::string mask = (std::filesystem::current_path() / "*.csp").string();
         XmString pattern = XmStringCreateLocalized(const_cast<char*>(mask.c_str()));
         XmFileSelectionDoSearch(load_p_files, pattern);
         XmStringFree(pattern);
         press(Load_events);
       }},
  };
  for (const auto& w : windows) {
    w.show();
    check_screenshot(w.shell, w.name, w.min_width, w.min_height);
  }
}
