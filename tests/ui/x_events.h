// Key and pointer events made as the X server makes them, for a widget's
// window.
#pragma once

#include "ui_fixture.h"

// Ctrl with the key `sym` and any `more` modifiers, dispatched to `w`.
inline void press_ctrl_key(Widget w, KeySym sym, unsigned more = 0) {
  XEvent key{};
  key.xkey = {.type = KeyPress, .serial = 0, .send_event = True, .display = display,
              .window = XtWindow(w), .root = DefaultRootWindow(display), .subwindow = 0,
              .time = CurrentTime, .x = 1, .y = 1, .x_root = 0, .y_root = 0,
              .state = ControlMask | more, .keycode = XKeysymToKeycode(display, sym),
              .same_screen = True};
  XtDispatchEvent(&key);
}

// Button 1 pressed, moved with or released at (x, y) of `window`, with
// the modifiers `held`.
inline XEvent button1_event(int type, Window window, int x, int y, unsigned held = 0) {
  XEvent e{};
  const unsigned state = held | (type == ButtonPress ? 0u : Button1Mask);
  if (type == MotionNotify)
    e.xmotion = {.type = type, .serial = 0, .send_event = True, .display = display,
                 .window = window, .root = DefaultRootWindow(display), .subwindow = 0,
                 .time = CurrentTime, .x = x, .y = y, .x_root = 0, .y_root = 0, .state = state,
                 .is_hint = 0, .same_screen = True};
  else
    e.xbutton = {.type = type, .serial = 0, .send_event = True, .display = display,
                 .window = window, .root = DefaultRootWindow(display), .subwindow = 0,
                 .time = CurrentTime, .x = x, .y = y, .x_root = 0, .y_root = 0, .state = state,
                 .button = Button1, .same_screen = True};
  return e;
}
