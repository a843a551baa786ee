// The window tests' harness: the whole interface is built once per test
// process, exactly as the program builds it, on the X server named by
// DISPLAY (tests/ui/with_xvfb.sh starts a private Xvfb for them). Each test
// starts from the defaults, with every window hidden, in a scratch working
// directory of its own.
#pragma once

// GoogleTest first: Xlib's macros (None, Bool, Status) would break it.
#include <gtest/gtest.h>

#include <Xm/Xm.h>
#include <Xm/List.h>
#include <Xm/Scale.h>
#include <Xm/Text.h>
#include <Xm/ToggleB.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <thread>

#include "engine/externs.h"
#include "events/Xevent.h"
#include "events/event_list.h"
#include "files/Xfiles.h"
#include "ui/Xamp.h"
#include "ui/Xctrl.h"
#include "ui/Xfreq.h"
#include "ui/startup.h"

namespace ui_test {

// The toolkit options the harness passes; start-up must remove them.
inline const char* const toolkit_options[] = {"zelmora", "-geometry", "+20+20", "-xrm",
                                              "*halt_at.columns: 4"};
inline int arguments_left = 0;

// Builds the interface on the first call; later calls do nothing.
inline void build_once() {
  static bool built = false;
  if (built) return;
  static char* argv[std::size(toolkit_options) + 1] = {};
  for (std::size_t i = 0; i < std::size(toolkit_options); ++i)
    argv[i] = const_cast<char*>(toolkit_options[i]);
  int argc = static_cast<int>(std::size(toolkit_options));
  ASSERT_TRUE(build_interface(argc, argv))
      << "no X display; run the window tests through tests/ui/with_xvfb.sh";
  arguments_left = argc;
  built = true;
}

// Handles every pending X event, after the server has seen every request.
inline void pump() {
  XSync(display, False);
  while (XtAppPending(app_context) != 0) XtAppProcessEvent(app_context, XtIMAll);
}

// Pumps until `done` holds or about two seconds have passed.
template <typename Condition>
bool pump_until(Condition done) {
  for (int i = 0; i < 200; ++i) {
    pump();
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// --- Acting as the user does: through the widgets' own callback lists. ---

inline void press(Widget button) {
  XmPushButtonCallbackStruct data{};
  data.reason = XmCR_ACTIVATE;
  XtCallCallbacks(button, XmNactivateCallback, &data);
}

// A press of an arrow button (its arm callback).
inline void arm(Widget arrow) {
  XmArrowButtonCallbackStruct data{};
  data.reason = XmCR_ARM;
  XtCallCallbacks(arrow, XmNarmCallback, &data);
}

// The user drags a scale to value and lets go.
inline void move_scale(Widget scale, int value) {
  XmScaleSetValue(scale, value);
  XmScaleCallbackStruct data{};
  data.reason = XmCR_VALUE_CHANGED;
  data.value = value;
  XtCallCallbacks(scale, XmNvalueChangedCallback, &data);
}

inline void set_toggle(Widget toggle, bool set) {
  XmToggleButtonSetState(toggle, set ? True : False, True);
}

// Types text into a field (XmText or XmTextField), replacing what it held,
// without pressing Return.
inline void type_text(Widget field, const std::string& text) {
  XmTextSetString(field, const_cast<char*>(text.c_str()));
}

// Types text and presses Return.
inline void type_and_return(Widget field, const std::string& text) {
  type_text(field, text);
  XmAnyCallbackStruct data{};
  data.reason = XmCR_ACTIVATE;
  XtCallCallbacks(field, XmNactivateCallback, &data);
}

// --- Reading what the windows show. ---

inline int scale_value(Widget scale) {
  int value = 0;
  XmScaleGetValue(scale, &value);
  return value;
}

inline std::string text_in(Widget field) {
  char* text = XmTextGetString(field);
  std::string result = text ? text : "";
  XtFree(text);
  return result;
}

// Line n (from 1) of a list widget, as plain text.
inline std::string list_line(Widget list, int n) {
  XmStringTable items = nullptr;
  int count = 0;
  XtVaGetValues(list, XmNitems, &items, XmNitemCount, &count, nullptr);
  if (n < 1 || n > count) return {};
  char* text = static_cast<char*>(
      XmStringUnparse(items[n - 1], nullptr, XmCHARSET_TEXT, XmCHARSET_TEXT, nullptr, 0,
                      XmOUTPUT_ALL));
  std::string result = text ? text : "";
  XtFree(text);
  return result;
}

inline int list_count(Widget list) {
  int count = 0;
  XtVaGetValues(list, XmNitemCount, &count, nullptr);
  return count;
}

inline bool shown(Widget top_child) { return XtIsManaged(top_child) != 0; }

// --- Files. ---

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void write_file(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline int line_count(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

}  // namespace ui_test

// Base fixture. Output of a test can be captured with
// testing::internal::CaptureStdout() / CaptureStderr().
class ui_fixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::build_once();
    if (HasFatalFailure()) return;
    reset_run_state();
    hide_every_window();
    enter_scratch_directory();
    ui_test::pump();
  }

  void TearDown() override {
    std::fflush(nullptr);
    if (!scratch.empty()) {
      std::filesystem::current_path(start_directory);
      std::filesystem::remove_all(scratch);
    }
  }

  // The working directory of this test, empty at its start, and the one
  // the test process started in.
  std::filesystem::path scratch;
  std::filesystem::path start_directory;

 private:
  void reset_run_state() {
    // As at program start: all zero, then the defaults.
    Current_State = parameters_type{};
    systeminit();
    XmToggleButtonSetState(frequency_lock, False, False);
    XmToggleButtonSetState(amplitude_lock, False, False);
    XmListDeleteAllItems(event_list_disp);
    for (Widget field : {frequency_disp, amplitude_disp, freq_auto_start, freq_auto_mul,
                         amp_auto_start, amp_auto_inc, event_edit, event_time})
      XmTextSetString(field, const_cast<char*>(""));
    set_control();
    set_all_frequencies();
    set_all_amplitudes();
  }

  void hide_every_window() {
    for (Widget top : {state_form, instrument_form, event_form, auto_set_freq_form,
                       auto_set_amp_form, load_p_files, save_p_files, load_e_files,
                       save_e_files, save_s_files, csound_output, load_event_p_files,
                       load_p_interp})
      XtUnmanageChild(top);
  }

  void enter_scratch_directory() {
    start_directory = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "zelmora-ui-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    scratch = pattern;
    std::filesystem::current_path(scratch);
  }
};
