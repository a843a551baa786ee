// The window tests' harness: the whole interface is built once per test
// process, as the program builds it, on the X server named by DISPLAY
// (with_xvfb.sh starts a private Xvfb). Each test starts from the defaults,
// every window hidden, in a scratch working directory of its own.
#pragma once

// GoogleTest first: Xlib's macros (None, Bool, Status) would break it.
#include <gtest/gtest.h>

#include <Xm/Xm.h>
#include <Xm/FileSB.h>
#include <Xm/List.h>
#include <Xm/Scale.h>
#include <Xm/Text.h>
#include <Xm/ToggleB.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "events/Xevent.h"
#include "files/Xfiles.h"
#include "files/param_file.h"
#include "tests/core/test_support.h"
#include "tests/ui/output_capture.h"
#include "ui/Xamp.h"
#include "ui/Xctrl.h"
#include "ui/Xfreq.h"
#include "ui/startup.h"

using test_support::slurp;
using test_support::spit;

// Toolkit options that start-up must consume.
inline const char* const toolkit_options[] = {"zelmora", "-geometry", "+20+20", "-xrm",
                                              "*halt_at.columns: 4"};
inline int arguments_left = 0;

inline void build_once() {
  static bool built = false;
  if (built) return;
  static char* argv[std::size(toolkit_options) + 1] = {};
  for (std::size_t i = 0; i < std::size(toolkit_options); ++i)
    argv[i] = const_cast<char*>(toolkit_options[i]);
  int argc = static_cast<int>(std::size(toolkit_options));
  ASSERT_TRUE(build_interface(argc, argv)) << "no X display; run through tests/ui/with_xvfb.sh";
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

inline bool viewable(Widget w) {
  XWindowAttributes a{};
  return XtIsRealized(w) && XGetWindowAttributes(display, XtWindow(w), &a) &&
         a.map_state == IsViewable;
}

// The user acts through the widgets' own callback lists. The push button's
// record is the largest of those these lists are given.
inline void call(Widget w, const char* list, int reason) {
  XmPushButtonCallbackStruct data{};
  data.reason = reason;
  XtCallCallbacks(w, list, &data);
}
inline void press(Widget button) { call(button, XmNactivateCallback, XmCR_ACTIVATE); }
inline void arm(Widget arrow) { call(arrow, XmNarmCallback, XmCR_ARM); }

// The user drags a scale to `value` and lets go.
inline void move_scale(Widget scale, int value) {
  XmScaleSetValue(scale, value);
  XmScaleCallbackStruct data{};
  data.reason = XmCR_VALUE_CHANGED;
  data.value = value;
  XtCallCallbacks(scale, XmNvalueChangedCallback, &data);
}

// Replaces what a text field holds, without pressing Return.
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

inline std::string plain(XmString s) {
  char* text = static_cast<char*>(
      XmStringUnparse(s, nullptr, XmCHARSET_TEXT, XmCHARSET_TEXT, nullptr, 0, XmOUTPUT_ALL));
  std::string result = text ? text : "";
  XtFree(text);
  return result;
}

// An XmString resource as plain text (labelString, pattern, dirMask, ...).
inline std::string xm_resource(Widget w, const char* name) {
  XmString s = nullptr;
  XtVaGetValues(w, name, &s, nullptr);
  std::string result = plain(s);
  XmStringFree(s);
  return result;
}

inline std::string title_of(Widget shell) {
  char* title = nullptr;
  XtVaGetValues(shell, XmNtitle, &title, nullptr);
  return title ? title : "";
}

inline std::vector<std::string> list_lines(Widget list) {
  XmStringTable items = nullptr;
  int count = 0;
  XtVaGetValues(list, XmNitems, &items, XmNitemCount, &count, nullptr);
  std::vector<std::string> lines;
  for (int n = 0; n < count; ++n) lines.push_back(plain(items[n]));
  return lines;
}

inline bool shown(Widget top_child) { return XtIsManaged(top_child) != 0; }

inline Widget ok_of(Widget box) { return XmFileSelectionBoxGetChild(box, XmDIALOG_OK_BUTTON); }
inline Widget cancel_of(Widget box) {
  return XmFileSelectionBoxGetChild(box, XmDIALOG_CANCEL_BUTTON);
}

// A parameter set as its file holds it.
inline std::string parameters_text(const parameters_type& p) {
  test_support::temp_stream text;
  write_parameters(text.get(), p);
  return text.text();
}

class ui_fixture : public ::testing::Test {
 protected:
  void SetUp() override {
    build_once();
    if (HasFatalFailure()) return;
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
    for (Widget top : {state_form, instrument_form, event_form, auto_set_freq_form,
                       auto_set_amp_form, load_p_files, save_p_files, load_e_files, save_e_files,
                       save_s_files, csound_output, load_event_p_files, load_p_interp})
      XtUnmanageChild(top);

    start_directory = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "zelmora-ui-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    scratch = pattern;
    std::filesystem::current_path(scratch);
    pump();
  }

  void TearDown() override {
    std::fflush(nullptr);
    if (scratch.empty()) return;
    std::filesystem::current_path(start_directory);
    std::filesystem::remove_all(scratch);
  }

  std::filesystem::path scratch, start_directory;
};
