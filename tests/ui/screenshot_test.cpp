// Pictures of the windows, written to the build directory for a person to
// review; each must be a drawn window of its own size, not a blank rectangle.
#include <X11/Xutil.h>

#include <memory>

#include "engine/automaton.h"
#include "engine/csound.h"
#include "engine/palette.h"
#include "engine/view.h"
#include "events/event_list.h"
#include "ui/Xlive.h"
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

grid_type captured;  // the grid of the last iteration

unsigned long truecolour(rgb_colour c) {
  return static_cast<unsigned long>(c.red) << 16 | static_cast<unsigned long>(c.green) << 8 |
         c.blue;
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
}

// The picture is also compared with the grid, sampled cell by cell.
TEST_F(screenshots, the_automaton_window_shows_the_grid_of_the_notes) {
  XmToggleButtonSetState(automaton_blocks, True, True);
  press(find("*automaton_button"));
  View.show_grid = [](const grid_type& grid, int t) {
    captured = current_grid(grid);
    // Past the frame interval, so that every iteration is drawn.
    std::this_thread::sleep_for(std::chrono::milliseconds(35));
    show_automaton(grid, t);
  };
  // Spiral waves, as examples/spirals.csp makes them.
  Current_State.r1 = Current_State.r2 = 3.0f;
  Current_State.k = 25.0f;
  Current_State.Ns = 100;
  Current_State.x = Current_State.y = 120;
  Current_State.iter = 60;
  ASSERT_EQ(make_score_file("s.sco"), 0);
  View.show_grid = show_automaton;
  check_screenshot(automaton_shell, "automaton");

  Dimension width = 0, height = 0;
  XtVaGetValues(automaton_area, XmNwidth, &width, XmNheight, &height, nullptr);
  XImage* image = XGetImage(display, XtWindow(automaton_area), 0, 0, width, height, AllPlanes,
                            ZPixmap);
  ASSERT_NE(image, nullptr);
  const int x = Current_State.x, y = Current_State.y;
  const double scale = std::min(double(width) / y, double(height) / x);
  const int left = (width - int(y * scale)) / 2, top = (height - int(x * scale)) / 2;
  int wrong = 0;
  for (int r = 0; r < x; r += 3)
    for (int c = 0; c < y; c += 3) {
      if (r % 24 == 0 || c % 24 == 0) continue;  // the block boundaries are drawn over
      const unsigned long pixel = XGetPixel(image, left + int((c + 0.5) * scale),
                                            top + int((r + 0.5) * scale));
      wrong += pixel != truecolour(state_colour(captured[r + 1][c + 1], Current_State.Ns));
    }
  const unsigned long on_boundary = XGetPixel(image, left + int(24 * scale), top + 1);
  XDestroyImage(image);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(on_boundary, 0xffffffUL);
}
