#include <X11/cursorfont.h>
#include <X11/extensions/Xfixes.h>
#include <Xm/TextF.h>

#include "engine/render.h"
#include "engine/view.h"
#include "ui_fixture.h"

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

// Acts at the first iteration of a render: notes the cursor and clicks the
// up arrow of the duration.
void at_first_iteration(int iteration) {
  if (iteration != 0) return;
  cursor_during_render = cursor_now();
  for (const int type : {ButtonPress, ButtonRelease}) {
    XEvent click{};
    click.xbutton = {.type = type, .serial = 0, .send_event = True, .display = display,
                     .window = XtWindow(dur_up), .root = DefaultRootWindow(display),
                     .subwindow = 0, .time = CurrentTime, .x = 5, .y = 5, .x_root = 0,
                     .y_root = 0, .state = type == ButtonRelease ? Button1Mask : 0u,
                     .button = Button1, .same_screen = True};
    XSendEvent(display, XtWindow(dur_up), True,
               type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &click);
  }
  XFlush(display);
}

void render_score(const char* name) {
  cb_csound(nullptr, nullptr, nullptr);
  choose(csound_output, csound_filename, name);
}

}  // namespace

using control_panel = ui_fixture;

TEST_F(control_panel, shows_the_defaults_and_truncates_r1) {
  EXPECT_EQ(panel(), "80 120 100 50 50 | 0.0250 | 0 | 600");
  Current_State.r1 = 0.29f;  // held just below 0.29
  set_control();
  EXPECT_EQ(panel(), "28 120 100 50 50 | 0.0250 | 0 | 600");
}

TEST_F(control_panel, duration_arrows_step_by_a_thousandth_and_stop_at_their_limits) {
  for (int press_count = 0; press_count < 24; ++press_count) arm(dur_down);
  EXPECT_EQ(Current_State.dur, 0.001f);
  arm(dur_down);
  EXPECT_EQ(Current_State.dur, 0.001f);
  EXPECT_EQ(text_in(duration), "0.0010");

  Current_State.dur = 0.025f;
  int presses = 0;
  for (; Current_State.dur < 9.99f && presses < 20000; ++presses) arm(dur_up);
  EXPECT_EQ(presses, 9965);
  const float top = Current_State.dur;
  arm(dur_up);
  EXPECT_EQ(Current_State.dur, top);
  EXPECT_EQ(text_in(duration), "9.9904");
}

TEST_F(control_panel, typed_duration_is_taken_on_return_within_its_range) {
  const struct {
    const char *typed, *error, *shown;
  } cases[] = {
      {"0.5", "", "0.5000"},      {"9.99", "", "9.9900"},  {" 0.001 ", "", "0.0010"},
      {"0", "Bad number\n", "0.0010"}, {"-0.5", "Bad number\n", "0.0010"},
      {"10", "Bad number\n", "0.0010"}, {"0.5s", "Bad number\n", "0.0010"},
      {"nan", "Bad number\n", "0.0010"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(capture([&] { type_and_return(duration, c.typed); }).err, c.error) << c.typed;
    EXPECT_EQ(text_in(duration), c.shown) << c.typed;
    set_control();  // what the field shows is what is stored
    EXPECT_EQ(text_in(duration), c.shown) << c.typed;
  }
}

// Stop at and the Auto-set counts take whole numbers only.
TEST_F(control_panel, whole_number_fields_refuse_anything_else) {
  type_and_return(halt_at, " 250 ");
  EXPECT_EQ(Current_State.iter, 250);
  const parameters_type before = Current_State;
  Widget freq_ok = XtNameToWidget(auto_set_freq_form, "widget6");
  Widget amp_ok = XtNameToWidget(auto_set_amp_form, "widget6");
  const struct {
    Widget field, ok;
    const char* typed;
  } cases[] = {
      {halt_at, nullptr, "1.5"},        {halt_at, nullptr, "abc"},
      {halt_at, nullptr, "-3"},         {freq_auto_start, freq_ok, "1.5"},
      {amp_auto_start, amp_ok, "1.5"},  {amp_auto_inc, amp_ok, "2.5"},
  };
  for (const auto& c : cases) {
    for (const auto& [field, valid] : {std::pair(freq_auto_start, "1"), {freq_auto_mul, "2"},
                                       {amp_auto_start, "1"}, {amp_auto_inc, "5"}})
      type_text(field, valid);
    const captured_output o = capture([&] {
      if (c.ok) {
        type_text(c.field, c.typed);
        press(c.ok);
      } else {
        type_and_return(c.field, c.typed);
      }
    });
    EXPECT_EQ(o.err, "Bad number\n") << c.typed;
  }
  EXPECT_EQ(Current_State, before);
  EXPECT_EQ(text_in(halt_at), "250");
}

TEST_F(control_panel, scales_stretch_to_show_values_beyond_their_range_and_shrink_back) {
  const struct {
    float k;
    int value, minimum, maximum;
  } cases[] = {{25.0f, 2500, 1, 2500}, {0.0f, 0, 0, 1000}, {2.0f, 200, 1, 1000}};
  for (const auto& c : cases) {
    Current_State.k = c.k;
    set_control();
    int value = -1, minimum = -1, maximum = -1;
    XtVaGetValues(k, XmNvalue, &value, XmNminimum, &minimum, XmNmaximum, &maximum, nullptr);
    EXPECT_EQ(std::to_string(value) + " in " + std::to_string(minimum) + ".." +
                  std::to_string(maximum),
              std::to_string(c.value) + " in " + std::to_string(c.minimum) + ".." +
                  std::to_string(c.maximum));
    EXPECT_EQ(Current_State.k, c.k);
  }
}

TEST_F(control_panel, counter_and_stop_at_show_every_digit) {
  Current_State.iter = 2147483647;
  Current_Iteration = 1234567890;
  set_control();
  pump();
  for (Widget field : {counter, halt_at}) {
    const XmTextPosition end = XmTextFieldGetLastPosition(field);
    Position first = -1, last = -1, y = 0;
    XmTextFieldPosToXY(field, 0, &first, &y);
    XmTextFieldPosToXY(field, end, &last, &y);
    Dimension width = 0;
    XtVaGetValues(field, XmNwidth, &width, nullptr);
    EXPECT_GE(first, 0) << text_in(field);
    EXPECT_LE(last, static_cast<Position>(width)) << text_in(field);
  }
  Current_Iteration = 0;
}

TEST_F(control_panel, mean_and_mode_set_the_reduction) {
  press(find("widget1.widget2.widget3*widget18"));
  EXPECT_EQ(Mean_Mode, 1);
  press(find("widget1.widget2.widget3*widget17"));
  EXPECT_EQ(Mean_Mode, 0);
}

// The reseed due at 3 keeps the refreshes going until then.
TEST_F(control_panel, a_render_with_events_moves_the_counter_and_refreshes_every_window) {
  parameters_type bells = Current_State;
  bells.r1 = 0.29f;
  bells.k = 2.5f;
  bells.dur = 0.05f;
  bells.iter = 9;
  std::fill_n(bells.states.begin(), 40, 70.0f);
  std::fill_n(bells.instrm.begin(), 25, 80.0f);
  add_event_params(bells, "bells.csp");
  add_event_special();
  set_event_time(2, 3);
  Current_State.iter = 6;
  std::FILE* score = std::fopen("events.sco", "w");
  ASSERT_NE(score, nullptr);
  EXPECT_EQ(play_ca(score), render_complete);
  EXPECT_EQ(test_support::lines_of(slurp("events.sco")).size(), 2u + 6 * 25);
  EXPECT_EQ(panel(), "28 120 250 50 50 | 0.0500 | 5 | 9");  // iter 9 shown, not used
  for (int i = 0; i < 40; ++i) EXPECT_EQ(scale_value(state_sliders[i]), 70);
  for (int i = 0; i < 25; ++i) EXPECT_EQ(scale_value(instrument_sliders[i]), 80);
}

// The render's events leave Current_State changed; the windows show that,
// however the render ended.
TEST_F(control_panel, windows_show_what_a_render_left_however_it_ended) {
  const struct {
    float r1;
    const char* panel;
  } cases[] = {
      {0.5f, "50 120 2500 50 50 | 0.0800 | 2 | 5"},  // finished
      {0.0f, "0 120 2500 50 50 | 0.0800 | 0 | 5"},   // abandoned: r1 of 0
  };
  for (const auto& c : cases) {
    Current_State = parameters_type{};
    systeminit();
    Current_State.iter = 3;
    parameters_type spirals = Current_State;
    spirals.r1 = c.r1;
    spirals.k = 25.0f;
    spirals.dur = 0.08f;
    spirals.iter = 5;
    std::fill_n(spirals.states.begin(), 40, 70.0f);
    std::fill_n(spirals.instrm.begin(), 25, 80.0f);
    add_event_params(spirals, "spirals.csp");
    set_control();
    render_score("out.sco");
    EXPECT_EQ(panel(), c.panel);
    EXPECT_EQ(scale_value(state_sliders[39]), 70);
    EXPECT_EQ(scale_value(instrument_sliders[24]), 80);
  }
}

TEST_F(control_panel, a_render_shows_the_watch_cursor_and_drops_input_made_meanwhile) {
  XWarpPointer(display, None, XtWindow(Ctrl_pannel), 0, 0, 0, 0, 5, 5);
  const std::vector<unsigned long> normal = cursor_now();
  Current_State.iter = 3;
  View.show_iteration = at_first_iteration;
  render_score("out.sco");
  View.show_iteration = show_counter;
  pump();
  EXPECT_EQ(Current_State.dur, 0.025f);  // the click was not applied
  EXPECT_EQ(cursor_now(), normal);

  const Cursor watch = XCreateFontCursor(display, XC_watch);
  XDefineCursor(display, XtWindow(Ctrl_pannel), watch);
  EXPECT_EQ(cursor_during_render, cursor_now());
  XUndefineCursor(display, XtWindow(Ctrl_pannel));
  XFreeCursor(display, watch);
  EXPECT_NE(cursor_during_render, normal);
}
