// The control panel: its controls store into Current_State, set_control
// shows Current_State, and its menus reach the other windows.
#include "ui_fixture.h"

#include <Xm/Label.h>
#include <Xm/RowColumn.h>

#include <vector>

using namespace ui_test;

namespace {

class control_panel : public ui_fixture {};

Widget find(const char* path) { return XtNameToWidget(Ctrl_pannel, path); }

std::string label_of(Widget w) {
  XmString label = nullptr;
  XtVaGetValues(w, XmNlabelString, &label, nullptr);
  char* text = static_cast<char*>(
      XmStringUnparse(label, nullptr, XmCHARSET_TEXT, XmCHARSET_TEXT, nullptr, 0, XmOUTPUT_ALL));
  std::string result = text ? text : "";
  XtFree(text);
  XmStringFree(label);
  return result;
}

// The entries of the pulldown a cascade button opens; "---" for a separator.
std::vector<std::string> entry_labels(Widget cascade) {
  Widget menu = nullptr;
  XtVaGetValues(cascade, XmNsubMenuId, &menu, nullptr);
  WidgetList children = nullptr;
  Cardinal count = 0;
  XtVaGetValues(menu, XmNchildren, &children, XmNnumChildren, &count, nullptr);
  std::vector<std::string> labels;
  for (Cardinal i = 0; i < count; ++i)
    labels.push_back(XmIsLabel(children[i]) ? label_of(children[i]) : "---");
  return labels;
}

}  // namespace

TEST_F(control_panel, shows_the_defaults) {
  EXPECT_EQ(scale_value(r1), 80);
  EXPECT_EQ(scale_value(r2), 120);
  EXPECT_EQ(scale_value(k), 100);
  EXPECT_EQ(scale_value(x), 50);
  EXPECT_EQ(scale_value(y), 50);
  EXPECT_EQ(text_in(halt_at), "600");
  EXPECT_EQ(text_in(counter), "0");
  EXPECT_EQ(text_in(duration), "0.0250");
}

TEST_F(control_panel, scales_have_their_ranges) {
  for (Widget scale : {r1, r2, k}) {
    int minimum = 0, maximum = 0;
    short decimals = 0;
    unsigned char orientation = 0;
    XtVaGetValues(scale, XmNminimum, &minimum, XmNmaximum, &maximum, XmNdecimalPoints,
                  &decimals, XmNorientation, &orientation, nullptr);
    EXPECT_EQ(minimum, 1);
    EXPECT_EQ(maximum, 1000);
    EXPECT_EQ(decimals, 2);
    EXPECT_EQ(orientation, XmVERTICAL);
  }
  for (Widget scale : {x, y}) {
    int minimum = -1, maximum = 0;
    unsigned char orientation = 0;
    XtVaGetValues(scale, XmNminimum, &minimum, XmNmaximum, &maximum, XmNorientation,
                  &orientation, nullptr);
    EXPECT_EQ(minimum, 0);
    EXPECT_EQ(maximum, 1000);
    EXPECT_EQ(orientation, XmHORIZONTAL);
  }
}

TEST_F(control_panel, values_are_truncated_not_rounded) {
  Current_State.r1 = 0.29f;  // held just below 0.29
  set_control();
  EXPECT_EQ(scale_value(r1), 28);
}

TEST_F(control_panel, values_outside_a_scale_show_its_nearest_end_without_warning) {
  testing::internal::CaptureStderr();
  Current_State.r1 = 25.0f;
  Current_State.r2 = 0.0f;
  Current_State.k = -3.0f;
  Current_State.x = 5000;
  Current_State.y = -7;
  set_control();
  pump();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(scale_value(r1), 1000);
  EXPECT_EQ(scale_value(r2), 1);
  EXPECT_EQ(scale_value(k), 1);
  EXPECT_EQ(scale_value(x), 1000);
  EXPECT_EQ(scale_value(y), 0);
  // Only the widgets are limited, never the stored values.
  EXPECT_EQ(Current_State.x, 5000);
  EXPECT_EQ(Current_State.r1, 25.0f);
}

TEST_F(control_panel, scales_store_into_the_parameter_set_and_nothing_else) {
  Current_State.r1 = 0.5f;
  parameters_type expected = Current_State;
  move_scale(r1, 80);
  expected.r1 = 0.8f;
  EXPECT_EQ(Current_State, expected);
  EXPECT_EQ(text_in(halt_at), "600");
  EXPECT_EQ(scale_value(r2), 120);

  move_scale(r2, 1);
  move_scale(k, 1000);
  move_scale(x, 0);
  move_scale(y, 1000);
  expected.r2 = 0.01f;
  expected.k = 10.0f;
  expected.x = 0;
  expected.y = 1000;
  EXPECT_EQ(Current_State, expected);
}

TEST_F(control_panel, down_arrow_reaches_a_hair_below_zero_in_25_presses) {
  for (int press_count = 0; press_count < 25; ++press_count) arm(dur_down);
  EXPECT_LT(Current_State.dur, 0.0f);
  EXPECT_GT(Current_State.dur, -1e-6f);
  EXPECT_EQ(text_in(duration), "-0.0000");

  const float stopped = Current_State.dur;
  arm(dur_down);
  arm(dur_down);
  EXPECT_EQ(Current_State.dur, stopped);
  EXPECT_EQ(text_in(duration), "-0.0000");

  arm(dur_up);
  EXPECT_EQ(text_in(duration), "0.0010");
}

TEST_F(control_panel, up_arrow_stops_at_9_9904) {
  int presses = 0;
  while (Current_State.dur < 9.99f && presses < 20000) {
    arm(dur_up);
    ++presses;
  }
  EXPECT_EQ(presses, 9965);
  EXPECT_EQ(text_in(duration), "9.9904");
  const float stopped = Current_State.dur;
  arm(dur_up);
  EXPECT_EQ(Current_State.dur, stopped);
  EXPECT_EQ(text_in(duration), "9.9904");
}

TEST_F(control_panel, an_arrow_rewrites_every_control_from_the_parameter_set) {
  type_text(halt_at, "123");  // typed, not confirmed with Return
  Current_State.x = 70;
  Current_Iteration = 17;
  arm(dur_up);
  EXPECT_EQ(text_in(halt_at), "600");
  EXPECT_EQ(Current_State.iter, 600);
  EXPECT_EQ(scale_value(x), 70);
  EXPECT_EQ(text_in(counter), "17");
  EXPECT_EQ(text_in(duration), "0.0260");
}

TEST_F(control_panel, stop_at_takes_a_number_on_return) {
  type_and_return(halt_at, "250");
  EXPECT_EQ(Current_State.iter, 250);

  type_and_return(halt_at, "abc");
  EXPECT_EQ(Current_State.iter, 250);
  EXPECT_EQ(text_in(halt_at), "abc");  // not rewritten until the next refresh

  type_and_return(halt_at, "  42 and more");
  EXPECT_EQ(Current_State.iter, 42);
  type_and_return(halt_at, "-3");
  EXPECT_EQ(Current_State.iter, -3);
  type_and_return(halt_at, "99999999999");  // no int holds it
  EXPECT_EQ(Current_State.iter, -3);
  type_and_return(halt_at, "");
  EXPECT_EQ(Current_State.iter, -3);

  type_text(halt_at, "77");  // no Return: nothing stored
  EXPECT_EQ(Current_State.iter, -3);
}

TEST_F(control_panel, mean_and_mode_set_the_reduction) {
  Widget option = find("widget1.widget2.widget3.widget13");
  Widget pulldown = nullptr;
  XtVaGetValues(option, XmNsubMenuId, &pulldown, nullptr);
  EXPECT_STREQ(XtName(pulldown), "widget16");
  Widget mean = XtNameToWidget(pulldown, "widget17");
  Widget mode = XtNameToWidget(pulldown, "widget18");
  EXPECT_EQ(label_of(mean), "Mean");
  EXPECT_EQ(label_of(mode), "Mode");

  Widget chosen = nullptr;
  XtVaGetValues(option, XmNmenuHistory, &chosen, nullptr);
  EXPECT_EQ(chosen, mean);  // matches the default Mean_Mode of 0
  EXPECT_FALSE(XtIsManaged(XmOptionLabelGadget(option)));

  press(mode);
  EXPECT_EQ(Mean_Mode, 1);
  press(mean);
  EXPECT_EQ(Mean_Mode, 0);
}

TEST_F(control_panel, turbo_changes_nothing) {
  Widget turbo = find("widget1.widget48.widget49.widget53");
  XmString label = nullptr;
  XtVaGetValues(turbo, XmNlabelString, &label, nullptr);
  EXPECT_EQ(XmStringLineCount(label), 2);
  XmStringFree(label);
  EXPECT_EQ(label_of(turbo), "ZUXTurbo");  // the two lines, joined
  const parameters_type before = Current_State;
  press(turbo);
  EXPECT_EQ(Current_State, before);
  EXPECT_EQ(Mean_Mode, 0);
  EXPECT_EQ(text_in(counter), "0");
}

TEST_F(control_panel, labels) {
  EXPECT_EQ(label_of(find("*widget27")), "Parameters ");
  EXPECT_EQ(label_of(find("*widget22")), "r1");
  EXPECT_EQ(label_of(find("*widget24")), "r2");
  EXPECT_EQ(label_of(find("*widget26")), "k");
  EXPECT_EQ(label_of(find("*widget6")), "Grid size");
  EXPECT_EQ(label_of(find("*widget4")), "X");
  EXPECT_EQ(label_of(find("*widget5")), "Y");
  EXPECT_EQ(label_of(find("*widget12")), "Duration");
  EXPECT_EQ(label_of(find("*widget50")), "Counter");
  EXPECT_EQ(label_of(find("*widget54")), "Stop at");
  EXPECT_EQ(label_of(find("*widget29")), "File");
  EXPECT_EQ(label_of(find("*widget38")), "Output");
  EXPECT_EQ(label_of(Mapping), "Mapping");
}

TEST_F(control_panel, menus_hold_their_entries_in_order) {
  using labels = std::vector<std::string>;
  EXPECT_EQ(entry_labels(find("*widget29")),
            (labels{"Save Parameters", "Save Event List", "---", "Load Parameters",
                    "Load Event List", "---", "QUIT"}));
  EXPECT_EQ(entry_labels(find("*widget38")), (labels{"Csound", "Audio Output", "Audio File"}));
  EXPECT_EQ(entry_labels(Mapping), (labels{"States", "Instruments", "Event List Editor"}));

  Widget file_menu = nullptr;
  Widget output_menu = nullptr;
  Widget mapping_menu = nullptr;
  XtVaGetValues(find("*widget29"), XmNsubMenuId, &file_menu, nullptr);
  XtVaGetValues(find("*widget38"), XmNsubMenuId, &output_menu, nullptr);
  XtVaGetValues(Mapping, XmNsubMenuId, &mapping_menu, nullptr);
  EXPECT_STREQ(XtName(file_menu), "widget30");
  EXPECT_STREQ(XtName(output_menu), "widget39");
  EXPECT_STREQ(XtName(mapping_menu), "menu_button");
  EXPECT_EQ(XtParent(save_parameters), file_menu);
  EXPECT_EQ(XtParent(Load_events), file_menu);
  EXPECT_EQ(XtParent(csound_button), output_menu);
  EXPECT_EQ(XtParent(event_button), mapping_menu);
}

TEST_F(control_panel, mapping_menu_shows_the_windows) {
  press(state_button);
  EXPECT_TRUE(shown(state_form));
  press(state_button);  // shown already: stays shown
  EXPECT_TRUE(shown(state_form));
  press(instrument_button);
  EXPECT_TRUE(shown(instrument_form));
  press(event_button);
  EXPECT_TRUE(shown(event_form));
  EXPECT_TRUE(pump_until([] {
    XWindowAttributes a{};
    return XtIsRealized(states) && XGetWindowAttributes(display, XtWindow(states), &a) &&
           a.map_state == IsViewable;
  }));
}

TEST_F(control_panel, a_refresh_that_changes_nothing_leaves_the_widgets_alone) {
  // Rewriting a field would move its insertion point; an untouched one keeps it.
  XmTextSetInsertionPosition(halt_at, 1);
  set_control();
  EXPECT_EQ(XmTextGetInsertionPosition(halt_at), 1);
  Current_State.iter = 6000;
  set_control();
  EXPECT_EQ(text_in(halt_at), "6000");
  EXPECT_NE(XmTextGetInsertionPosition(halt_at), 1);
}

TEST_F(control_panel, counter_follows_the_render) {
  show_counter(412);
  EXPECT_EQ(text_in(counter), "412");
  EXPECT_EQ(Current_Iteration, 0);  // the render owns that, not the display
}

using control_panel_death = control_panel;

TEST_F(control_panel_death, quit_ends_the_program_with_status_0) {
  EXPECT_EXIT(press(find("*widget37")), testing::ExitedWithCode(0), "");
}
