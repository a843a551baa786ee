#include <X11/cursorfont.h>
#include <X11/extensions/Xfixes.h>
#include <Xm/TextF.h>

#include "engine/engine.h"
#include "engine/view.h"
#include "x_events.h"

namespace {

// The pointer's cursor as drawn: size, hot spot and pixels.
std::vector<unsigned long> cursor_now() {
  XSync(display, False);
  XFixesCursorImage* image = XFixesGetCursorImage(display);
  if (!image) return {};
  std::vector<unsigned long> drawn{image->width, image->height, image->xhot, image->yhot};
  drawn.insert(drawn.end(), image->pixels, image->pixels + image->width * image->height);
  XFree(image);
  return drawn;
}

// What the pointer shows over the control panel while a render runs.
std::vector<unsigned long> cursor_during_render;

// At the first iteration of a render: notes the cursor and clicks the up
// arrow of the duration.
void at_first_iteration(int iteration) {
  if (iteration != 0) return;
  cursor_during_render = cursor_now();
  for (const int type : {ButtonPress, ButtonRelease}) {
    XEvent click = button1_event(type, XtWindow(dur_up), 5, 5);
    XSendEvent(display, XtWindow(dur_up), True,
               type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &click);
  }
  XFlush(display);
}

}  // namespace

using control_panel = ui_fixture;

// The arrows stop at 0.001 and near 9.99; typed durations are taken within
// 0.001 .. 9.99, Stop at whole numbers from 0 to 10 million; a refusal says
// where and what.
TEST_F(control_panel, duration_and_stop_at_take_only_values_in_their_range) {
  for (int i = 0; i < 30; ++i) arm(dur_down);
  EXPECT_EQ(text_in(duration), "0.0010");
  Current_State.dur = 0.025f;
  for (int i = 0; i < 10000; ++i) arm(dur_up);
  EXPECT_EQ(text_in(duration), "9.9904");  // 9965 steps in float, then held
  type_and_return(duration, " 0.001 ");
  type_and_return(halt_at, " 250 ");
  for (const auto& [field, refused] : {std::pair(duration, "10"), {duration, "0.5s"},
                                       {duration, "nan"}, {duration, "0"}, {duration, "0.0009"},
                                       {halt_at, "1.5"}, {halt_at, "-3"}, {halt_at, "10000001"}})
    EXPECT_EQ(stderr_of([&, field = field, refused = refused] { type_and_return(field, refused); }),
              field == duration ? "Bad number\nDuration: seconds, 0.001 to 9.99\n"
                                : "Bad number\nStop at: a whole number of iterations, 0 to "
                                  "10000000\n")
        << refused;
  type_and_return(halt_at, "10000000");
  EXPECT_EQ(Current_State.iter, 10000000);
  type_and_return(halt_at, " 250 ");
  set_control();  // what the fields show is what is stored
  EXPECT_EQ(text_in(duration) + " " + text_in(halt_at), "0.0010 250");
}

// k's scale, and a state's slider (the two windows share the slider code),
// which moves in hundredths of a position.
TEST_F(control_panel, scales_stretch_to_show_values_beyond_their_range_and_shrink_back) {
  for (const auto& [entry, scale, value, range] :  // range: value in minimum..maximum
       {std::tuple(&Current_State.k, k, 25.0f, "2500 in 1..2500"),
        {&Current_State.k, k, 2.0f, "200 in 1..1000"},
        {&Current_State.states[3], state_sliders[3], 103.7f, "10370 in 0..10370"},
        {&Current_State.states[3], state_sliders[3], -5.5f, "-550 in -550..10000"},
        {&Current_State.states[3], state_sliders[3], 50.9f, "5090 in 0..10000"}}) {
    *entry = value;
    set_control();
    set_all_frequencies();
    int v = -1, minimum = -1, maximum = -1;
    XtVaGetValues(scale, XmNvalue, &v, XmNminimum, &minimum, XmNmaximum, &maximum, nullptr);
    EXPECT_EQ(std::to_string(v) + " in " + std::to_string(minimum) + ".." + std::to_string(maximum),
              range);
  }
}

TEST_F(control_panel, counter_and_stop_at_show_every_digit) {
  Current_State.iter = 2147483647;
  Current_Iteration = 1234567890;
  set_control();
  check_screenshot(Ctrl_pannel, "control_panel");
  for (Widget field : {counter, halt_at}) {
    Position first = -1, last = -1, y = 0;
    XmTextFieldPosToXY(field, 0, &first, &y);
    XmTextFieldPosToXY(field, XmTextFieldGetLastPosition(field), &last, &y);
    Dimension width = 0;
    XtVaGetValues(field, XmNwidth, &width, nullptr);
    EXPECT_TRUE(first >= 0 && last <= static_cast<Position>(width)) << text_in(field);
  }
  Current_Iteration = 0;
}

// The render's events leave Current_State changed; the windows show that,
// however the render ended (r1 shown rounded as stored, the counter moved), and
// "Stop at" stays as typed, whatever count the event's set carried.
// Meanwhile the pointer shows the watch, and a click on the duration's up
// arrow is dropped, not applied afterwards. The first render reduces by
// the mode, the second by the mean.
TEST_F(control_panel, windows_show_what_a_render_left_and_drop_input_made_meanwhile) {
  XWarpPointer(display, None, XtWindow(Ctrl_pannel), 0, 0, 0, 0, 5, 5);
  const std::vector<unsigned long> normal = cursor_now();
  const view_hooks clicker{.show_iteration = at_first_iteration};
  add_view(default_engine(), clicker);
  for (const auto& [r1, shown] : {std::pair(0.29f, "29 120 2500 50 50 | 0.0800 | 2 | 3"),
                                  {0.0f, "0 120 2500 50 50 | 0.0800 | 0 | 3"}}) {  // abandoned
    type_and_return(halt_at, "3");
    parameters_type spirals = Current_State;
    spirals.r1 = r1;
    spirals.k = 25.0f;
    spirals.dur = 0.08f;
    spirals.iter = 5;
    std::fill_n(spirals.states.begin(), 40, 70.0f);
    std::fill_n(spirals.instrm.begin(), 25, 80.0f);
    clear_event_list();
    add_event_params(spirals, "spirals.csp");
    press(find(r1 > 0 ? "widget1.widget2.widget3*widget18" : "widget1.widget2.widget3*widget17"));
    EXPECT_EQ(Mean_Mode, r1 > 0);
    cb_csound(nullptr, nullptr, nullptr);
    choose(csound_output, csound_filename, "out.sco");
    pump();
    EXPECT_EQ(panel(), shown);
    EXPECT_EQ(scale_value(state_sliders[39]), 7000);
    EXPECT_EQ(scale_value(instrument_sliders[24]), 80);
  }
  remove_view(default_engine(), clicker);
  EXPECT_EQ(cursor_now(), normal);

  const Cursor watch = XCreateFontCursor(display, XC_watch);
  XDefineCursor(display, XtWindow(Ctrl_pannel), watch);
  EXPECT_EQ(cursor_during_render, cursor_now());
  XUndefineCursor(display, XtWindow(Ctrl_pannel));
  XFreeCursor(display, watch);
}
