// Pictures of the windows for a person to review, written to the build
// directory's "screenshots" folder. Each must be a real window of its own
// size with something drawn in it, not a blank rectangle.
#include "ui_fixture.h"

#include <Xm/FileSB.h>

#include <array>
#include <memory>

#include "engine/types.h"
#include "events/event_list.h"

using namespace ui_test;

namespace {

struct picture {
  int width = 0;
  int height = 0;
  long colours = 0;
};

// What ImageMagick says about a PNG: its size and how many colours it has.
picture describe(const std::string& path) {
  const std::string command = "identify -format '%w %h %k' '" + path + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  picture p;
  if (pipe && std::fscanf(pipe.get(), "%d %d %ld", &p.width, &p.height, &p.colours) != 3)
    p = {};
  return p;
}

bool viewable(Widget shell) {
  XWindowAttributes attributes{};
  return XtIsRealized(shell) && XGetWindowAttributes(display, XtWindow(shell), &attributes) &&
         attributes.map_state == IsViewable;
}

class screenshots : public ui_fixture {
 protected:
  // Shows nothing itself: the caller has shown the window of `shell`.
  void capture(Widget shell, const std::string& name, int min_width, int min_height) {
    ASSERT_TRUE(pump_until([&] { return viewable(shell); })) << name << " was never mapped";
    // Let the exposures of a freshly mapped window be drawn.
    for (int i = 0; i < 5; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
      pump();
    }
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, XtWindow(shell), &attributes);

    std::filesystem::create_directories(ZELMORA_SCREENSHOT_DIR);
    const std::string path = std::string(ZELMORA_SCREENSHOT_DIR) + "/" + name + ".png";
    std::filesystem::remove(path);
    char window[32];
    std::snprintf(window, sizeof window, "0x%lx", XtWindow(shell));
    const std::string command = std::string("import -window ") + window + " '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    const picture p = describe(path);
    EXPECT_EQ(p.width, attributes.width) << path;
    EXPECT_EQ(p.height, attributes.height) << path;
    EXPECT_GE(p.width, min_width) << path;
    EXPECT_GE(p.height, min_height) << path;
    // Text, shadows, troughs and fields give a drawn window several
    // colours; an undrawn one has a single colour.
    EXPECT_GE(p.colours, 5) << path;
  }
};

}  // namespace

TEST_F(screenshots, control_panel) {
  Current_Iteration = 599;
  set_control();
  capture(Ctrl_pannel, "control_panel", 450, 200);
}

TEST_F(screenshots, states_window) {
  // A spread of positions, as after an auto-set, reads better than a flat row.
  for (int s = 0; s < 40; ++s) Current_State.states[s] = static_cast<float>(30 + s * 1.5);
  set_all_frequencies();
  modify_freq(12, 48);
  set_all_frequencies();
  press(state_button);
  capture(states, "states", 600, 150);
}

TEST_F(screenshots, instruments_window) {
  for (int i = 0; i < 25; ++i) Current_State.instrm[i] = static_cast<float>(40 + (i % 5) * 10);
  set_all_amplitudes();
  modify_amp(3, 60);
  press(instrument_button);
  capture(instruments, "instruments", 600, 150);
}

TEST_F(screenshots, auto_set_dialog) {
  press(state_button);
  press(XtNameToWidget(states, "state_form.widget51.widget56"));
  type_text(freq_auto_start, "1");
  type_text(freq_auto_mul, "1.5");
  capture(auto_set_freq_shell, "auto_set_frequency", 150, 60);
}

TEST_F(screenshots, event_list_editor) {
  parameters_type bells = Current_State;
  bells.r1 = 0.29f;
  add_event_params(bells, "bells.csp");
  add_event_special();
  set_event_time(2, 120);
  add_event_interp(bells, "slow_drift.csp", 120, 220);
  List_Size = 3;
  display_list();
  press(event_button);
  capture(event_shell, "event_list_editor", 200, 200);
}

TEST_F(screenshots, load_parameters_dialog) {
  for (const char* name : {"default.csp", "bells.csp", "slow_drift.csp"})
    write_file(scratch / name, "end\n");
  const std::string mask = (scratch / "*.csp").string();
  XmString pattern = XmStringCreateLocalized(const_cast<char*>(mask.c_str()));
  XmFileSelectionDoSearch(load_p_files, pattern);
  XmStringFree(pattern);
  press(Load_events);
  capture(load_p_files_shell, "load_parameters", 250, 250);
}
