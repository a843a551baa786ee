// The interface is built once per test process, as the program builds it,
// on the private Xvfb that with_xvfb.sh starts. Each test starts from the
// defaults, every window hidden, in a scratch working directory.
#pragma once

#include <X11/Xutil.h>
#include <Xm/Xm.h>
#include <Xm/FileSB.h>
#include <Xm/List.h>
#include <Xm/MessageB.h>
#include <Xm/Scale.h>
#include <Xm/Text.h>
#include <Xm/ToggleB.h>

#include <chrono>
#include <functional>
#include <memory>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <thread>

#include "engine/render/palette.h"
#include "engine/types.h"
#include "ui/Xevent.h"
#include "ui/Xfiles.h"
#include "tests/core/test_support.h"
#include "ui/Xamp.h"
#include "ui/Xctrl.h"
#include "ui/Xfreq.h"
#include "ui/Xlive.h"
#include "ui/documents.h"
#include "ui/error_dialog.h"
#include "ui/panel_menus.h"
#include "ui/question.h"
#include "ui/startup.h"
#include "ui/undo.h"

using test_support::slurp;
using test_support::spit;
using test_support::stderr_of;
using strings = std::vector<std::string>;

inline void pump() {
  XSync(display, False);
  while (XtAppPending(app_context) != 0) XtAppProcessEvent(app_context, XtIMAll);
}

// Pumps until `done` holds or about `tries` hundredths of a second have passed.
template <typename Condition>
bool pump_until(Condition done, int tries = 200) {
  for (int i = 0; i < tries; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
    pump();
    if (done()) return true;
  }
  return false;
}

// The user acts through the widgets' own callback lists; the push button's
// record is the largest any of them is given.
inline void call(Widget w, const char* list, int reason) {
  XmPushButtonCallbackStruct data{};
  data.reason = reason;
  XtCallCallbacks(w, list, &data);
}
inline void press(Widget button) { call(button, XmNactivateCallback, XmCR_ACTIVATE); }
inline void arm(Widget arrow) { call(arrow, XmNarmCallback, XmCR_ARM); }

inline void type_text(Widget field, const std::string& text) {
  XmTextSetString(field, const_cast<char*>(text.c_str()));
}
inline void type_and_return(Widget field, const std::string& text) {
  type_text(field, text);
  call(field, XmNactivateCallback, XmCR_ACTIVATE);
}

inline Widget find(const char* path) { return XtNameToWidget(Ctrl_pannel, path); }

inline int scale_value(Widget scale) {
  int value = 0;
  XmScaleGetValue(scale, &value);
  return value;
}

// A scale let go at `value`, by the mouse or the keys.
inline void move_scale(Widget scale, int value) {
  XmScaleSetValue(scale, value);
  XmScaleCallbackStruct data{.reason = XmCR_VALUE_CHANGED, .event = nullptr, .value = value};
  XtCallCallbacks(scale, XmNvalueChangedCallback, &data);
}

inline std::string text_in(Widget field) {
  char* text = XmTextGetString(field);
  std::string result = text ? text : "";
  XtFree(text);
  return result;
}

// The control panel's scales, then duration, counter and "Stop at".
inline std::string panel() {
  std::string shown;
  for (Widget scale : {r1, r2, k, x, y}) shown += std::to_string(scale_value(scale)) + " ";
  return shown + "| " + text_in(duration) + " | " + text_in(counter) + " | " + text_in(halt_at);
}

// A label's or a dialog's text; its lines run together.
inline std::string label_text(Widget w, const char* resource = XmNlabelString) {
  XmString shown = nullptr;
  XtVaGetValues(w, resource, &shown, nullptr);
  char* text = static_cast<char*>(
      XmStringUnparse(shown, nullptr, XmCHARSET_TEXT, XmCHARSET_TEXT, nullptr, 0, XmOUTPUT_ALL));
  std::string result = text ? text : "";
  XtFree(text);
  XmStringFree(shown);
  return result;
}

inline strings list_lines(Widget list) {
  XmStringTable items = nullptr;
  int count = 0;
  XtVaGetValues(list, XmNitems, &items, XmNitemCount, &count, nullptr);
  strings lines;
  for (int n = 0; n < count; ++n) {
    char* text = static_cast<char*>(XmStringUnparse(items[n], nullptr, XmCHARSET_TEXT,
                                                    XmCHARSET_TEXT, nullptr, 0, XmOUTPUT_ALL));
    lines.emplace_back(text ? text : "");
    XtFree(text);
  }
  return lines;
}

using entries_type = decltype(Current_State.states);

// The first `count` sliders are shown, each at its entry's nearest step (a
// state's hundredth of a position, an instrument's whole one; as far as a
// million steps either way); no other slider is shown.
inline void expect_sliders_follow(const slider_row& sliders, const entries_type& at, int count) {
  const bool fine = &sliders == &state_sliders;
  for (int i = 0; i < static_cast<int>(sliders.size()); ++i) {
    ASSERT_EQ(XtIsManaged(XtParent(sliders[i])) != 0, i < count) << i;
    if (i < count) {
      const double step = std::round(at[i] * (fine ? 100.0 : 1.0));
      EXPECT_EQ(scale_value(sliders[i]), std::clamp(static_cast<int>(step), -1000000, 1000000))
          << i;
    }
  }
}

inline bool shown(Widget top_child) { return XtIsManaged(top_child) != 0; }
inline Widget ok_of(Widget box) { return XmFileSelectionBoxGetChild(box, XmDIALOG_OK_BUTTON); }

// Answers the question the program asks, if it asks one: the first answer
// ("Replace", "Quit") or the second. Whether it asked.
inline bool answer(bool first) {
  if (!question_dialog || !XtIsManaged(question_dialog)) return false;
  press(XmMessageBoxGetChild(question_dialog, first ? XmDIALOG_OK_BUTTON : XmDIALOG_CANCEL_BUTTON));
  return true;
}

// Types `name` in a file dialog and presses OK, agreeing to replace a file
// already there; what it says on standard error.
inline std::string choose(Widget box, Widget field, const std::string& name) {
  return stderr_of([&] {
    type_text(field, name);
    press(ok_of(box));
    answer(true);
  });
}

// The user picks a slider (a click, or the keyboard's focus): the field
// beside the row follows it.
inline void touch(Widget slider) {
  XEvent focus{};
  focus.xfocus = {.type = FocusIn, .serial = 0, .send_event = True, .display = display,
                  .window = XtWindow(slider), .mode = NotifyNormal, .detail = NotifyAncestor};
  XtDispatchEvent(&focus);
}

// Takes a picture of the window into the build directory for a person to
// review; it must be a drawn window, not a blank rectangle.
inline void check_screenshot(Widget shell, const std::string& name) {
  XWindowAttributes window{};
  ASSERT_TRUE(pump_until([&] {
    return XtIsRealized(shell) && XGetWindowAttributes(display, XtWindow(shell), &window) &&
           window.map_state == IsViewable;
  })) << name << " was never mapped";
  for (int i = 0; i < 5; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(40)))
    pump();  // the exposures of a freshly mapped window
  std::filesystem::create_directories(ZELMORA_SCREENSHOT_DIR);
  const std::string path = std::string(ZELMORA_SCREENSHOT_DIR) + "/" + name + ".png";
  const std::string take = "import -window " + std::to_string(XtWindow(shell)) + " '" + path +
                           "' && [ $(identify -format %k '" + path + "') -ge 5 ]";
  EXPECT_EQ(std::system(take.c_str()), 0) << path;  // text, shadows, troughs and fields
}

// The Automaton window as the server has it now, read in the grid's own
// cells (the picture keeps the grid's shape, centred); a TrueColor visual.
class automaton_picture {
 public:
  automaton_picture() {
    Dimension width = 0, height = 0;
    XtVaGetValues(automaton_area, XmNwidth, &width, XmNheight, &height, nullptr);
    image_.reset(
        XGetImage(display, XtWindow(automaton_area), 0, 0, width, height, AllPlanes, ZPixmap));
    const int x = Current_State.x, y = Current_State.y;
    scale_ = std::min(double(width) / y, double(height) / x);
    left_ = (width - int(y * scale_)) / 2;
    top_ = (height - int(x * scale_)) / 2;
  }

  rgb_colour at(double row, double column) const {
    const unsigned long pixel =
        XGetPixel(image_.get(), left_ + int(column * scale_), top_ + int(row * scale_));
    return {std::uint8_t(pixel >> 16), std::uint8_t(pixel >> 8), std::uint8_t(pixel)};
  }

  // Cells drawn in another colour than `grid` gives them, sampled at their
  // middles, but for those `skip` names; -1 when there is no picture.
  int cells_drawn_otherwise(const grid_type& grid,
                            const std::function<bool(int, int)>& skip = nullptr) const {
    if (!image_) return -1;
    int wrong = 0;
    for (int r = 0; r < Current_State.x; ++r)
      for (int c = 0; c < Current_State.y; ++c)
        wrong += !(skip && skip(r, c)) &&
                 !(at(r + 0.5, c + 0.5) == state_colour(grid[r + 1][c + 1], Current_State.Ns));
    return wrong;
  }

 private:
  struct destroy {
    void operator()(XImage* image) const { XDestroyImage(image); }
  };
  std::unique_ptr<XImage, destroy> image_;
  double scale_ = 1.0;
  int left_ = 0, top_ = 0;
};

// Spiral waves, as examples/spirals.csp makes them: a grid that changes at every step.
inline void spirals(int iterations, int size) {
  Current_State.r1 = Current_State.r2 = 3.0f;
  Current_State.k = 25.0f;
  Current_State.Ns = 100;
  Current_State.x = Current_State.y = size;
  Current_State.iter = iterations;
}

class ui_fixture : public ::testing::Test {
 protected:
  void SetUp() override {
    static char name[] = "zelmora";
    static char* argv[] = {name, nullptr};
    static int argc = 1;
    static const bool built = build_interface(argc, argv) == 0;
    ASSERT_TRUE(built) << "no X display; run through tests/ui/with_xvfb.sh";
    Current_State = parameters_type{};
    systeminit();
    XmToggleButtonSetState(frequency_lock, False, False);
    XmToggleButtonSetState(amplitude_lock, False, False);
    clear_event_list();
    show_event_list();
    for (Widget field : {frequency_disp, amplitude_disp, event_edit, event_time})
      type_text(field, "");
    set_control();
    show_reduction();
    set_all_frequencies();
    set_all_amplitudes();
    forget_changes();
    for (Widget top : {state_form, instrument_form, event_form, auto_set_freq_form,
                       auto_set_amp_form, load_p_files, save_p_files, load_e_files, save_e_files,
                       save_s_files, csound_output, load_event_p_files, load_p_interp,
                       error_dialog})
      XtUnmanageChild(top);
    answer(false);
    scratch.emplace("zelmora-ui-");
    pump();
  }

  void TearDown() override {
    std::fflush(nullptr);
    scratch.reset();
  }

  std::optional<test_support::working_dir> scratch;
};
