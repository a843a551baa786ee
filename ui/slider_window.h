// The plan the States and Instruments windows share: a row of upright
// sliders, beside it a caption, a field, "Lock", "Auto-set", "Quit" and
// "Reset"; and a small two-field Auto-set dialog.
#pragma once

#include <Xm/Xm.h>

#include <span>

struct slider_window_names {
  const char* shell;
  const char* title;
  const char* form;
  const char* holder;
  const char* side_form;
  const char* caption_label;
  const char* caption;
  const char* display;
  const char* lock;
  const char* auto_set;
  const char* quit;
  const char* reset;
};

struct slider_window {
  Widget shell, form, holder, side_form, display, lock, auto_set, quit, reset;
};

// Builds the window hidden: everything inside the form is managed, the
// form itself is not. Slider i is named "slider" and gets client data i.
slider_window build_slider_window(Widget parent, const slider_window_names& names,
                                  std::span<Widget> sliders, XtCallbackProc on_slider);

struct auto_set_names {
  const char* shell;
  const char* title;
  const char* form;
  const char* start;
  const char* second_label;
  const char* second;
};

struct auto_set_dialog {
  Widget shell, form, start, second, ok, cancel;
};

// Builds the dialog hidden: "Start at" and the second field, then "OK" and
// "Cancel".
auto_set_dialog build_auto_set_dialog(Widget parent, const auto_set_names& names);
