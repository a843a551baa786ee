// The control panel: its controls store into Current_State, set_control
// shows Current_State, its menus reach the other windows, and a render
// moves its counter and, with events, brings every window in step.
#include <Xm/Label.h>
#include <Xm/RowColumn.h>

#include "engine/render.h"
#include "ui_fixture.h"

namespace {

using control_panel = ui_fixture;
using strings = std::vector<std::string>;

// A menu's entries in order; "---" for a separator.
strings entry_labels(Widget menu) {
  WidgetList children = nullptr;
  Cardinal count = 0;
  XtVaGetValues(menu, XmNchildren, &children, XmNnumChildren, &count, nullptr);
  strings labels;
  for (Cardinal i = 0; i < count; ++i)
    labels.push_back(XmIsLabel(children[i]) ? xm_resource(children[i], XmNlabelString) : "---");
  return labels;
}

// Renders into the score file `name`; the lines it holds.
std::size_t render_lines(const char* name) {
  std::FILE* score = std::fopen(name, "w");
  EXPECT_EQ(score ? play_ca(score) : -1, render_complete);
  return test_support::lines_of(slurp(name)).size();
}

}  // namespace

TEST_F(control_panel, shows_the_set_truncated_and_within_each_scales_range) {
  EXPECT_EQ(panel(), "80 120 100 50 50 | 0.0250 | 0 | 600");
  Current_State.r1 = 0.29f;  // held just below 0.29
  set_control();
  EXPECT_EQ(panel(), "28 120 100 50 50 | 0.0250 | 0 | 600");
  Current_State.r1 = 25.0f;
  Current_State.r2 = 0.0f;
  Current_State.k = -3.0f;
  Current_State.x = 5000;
  Current_State.y = -7;
  const captured_output o = capture([] {
    set_control();
    pump();
  });
  EXPECT_EQ(o.err, "");  // no toolkit warning
  EXPECT_EQ(panel(), "1000 1 1 1000 0 | 0.0250 | 0 | 600");
  // Only the widgets are limited, never the stored values.
  EXPECT_EQ(Current_State.x, 5000);
  EXPECT_EQ(Current_State.r1, 25.0f);
}

TEST_F(control_panel, scales_store_into_the_parameter_set_and_nothing_else) {
  type_text(halt_at, "typed");
  parameters_type expected = Current_State;
  for (const auto& [scale, value] : {std::pair(r1, 50), {r2, 1}, {k, 1000}, {x, 0}, {y, 1000}})
    move_scale(scale, value);
  expected.r1 = 0.5f;
  expected.r2 = 0.01f;
  expected.k = 10.0f;
  expected.x = 0;
  expected.y = 1000;
  EXPECT_EQ(Current_State, expected);
  EXPECT_EQ(panel(), "50 1 1000 0 1000 | 0.0250 | 0 | typed");  // nothing refreshed
}

TEST_F(control_panel, duration_arrows_rewrite_every_control_and_stop_at_their_limits) {
  type_text(halt_at, "123");  // typed, not confirmed with Return
  Current_State.x = 70;
  Current_Iteration = 17;
  arm(dur_up);
  EXPECT_EQ(panel(), "80 120 100 70 50 | 0.0260 | 17 | 600");
  EXPECT_EQ(Current_State.iter, 600);
  // Down: 25 presses from the default reach a hair below 0, and stop.
  Current_State.dur = 0.025f;
  for (int press_count = 0; press_count < 25; ++press_count) arm(dur_down);
  EXPECT_LT(Current_State.dur, 0.0f);
  EXPECT_GT(Current_State.dur, -1e-6f);
  const float bottom = Current_State.dur;
  arm(dur_down);
  EXPECT_EQ(Current_State.dur, bottom);
  EXPECT_EQ(text_in(duration), "-0.0000");
  arm(dur_up);
  EXPECT_EQ(text_in(duration), "0.0010");
  // Up: 9965 presses from the default, stopping at 9.9904.
  Current_State.dur = 0.025f;
  int presses = 0;
  for (; Current_State.dur < 9.99f && presses < 20000; ++presses) arm(dur_up);
  EXPECT_EQ(presses, 9965);
  const float top = Current_State.dur;
  arm(dur_up);
  EXPECT_EQ(Current_State.dur, top);
  EXPECT_EQ(text_in(duration), "9.9904");
}

TEST_F(control_panel, stop_at_takes_a_number_on_return) {
  const std::pair<const char*, int> typed[] = {
      {"250", 250}, {"abc", 250}, {"  42 and more", 42}, {"-3", -3}, {"99999999999", -3}, {"", -3},
  };
  for (const auto& [text, iter] : typed) {
    type_and_return(halt_at, text);
    EXPECT_EQ(Current_State.iter, iter) << '"' << text << '"';
    EXPECT_EQ(text_in(halt_at), text);  // not rewritten until the next refresh
  }
  type_text(halt_at, "77");  // no Return: nothing stored
  EXPECT_EQ(Current_State.iter, -3);
}

TEST_F(control_panel, menus_hold_their_entries_in_order) {
  const struct {
    Widget cascade;
    const char* menu;
    strings entries;
  } menus[] = {
      {find("widget1.widget28.widget29"), "widget30",
       {"Save Parameters", "Save Event List", "---", "Load Parameters", "Load Event List", "---",
        "QUIT"}},
      {find("widget1.widget28.widget38"), "widget39", {"Csound", "Audio Output", "Audio File"}},
      {Mapping, "menu_button", {"States", "Instruments", "Event List Editor"}},
      {find("widget1.widget2.widget3.widget13"), "widget16", {"Mean", "Mode"}},
  };
  for (const auto& m : menus) {
    Widget menu = nullptr;
    XtVaGetValues(m.cascade, XmNsubMenuId, &menu, nullptr);
    EXPECT_STREQ(XtName(menu), m.menu);
    EXPECT_EQ(entry_labels(menu), m.entries);
  }
}

TEST_F(control_panel, mean_and_mode_set_the_reduction) {
  Widget option = find("widget1.widget2.widget3.widget13");
  Widget mean = find("widget1.widget2.widget3*widget17");
  Widget chosen = nullptr;
  XtVaGetValues(option, XmNmenuHistory, &chosen, nullptr);
  EXPECT_EQ(chosen, mean);  // matches the default Mean_Mode of 0
  press(find("widget1.widget2.widget3*widget18"));
  EXPECT_EQ(Mean_Mode, 1);
  press(mean);
  EXPECT_EQ(Mean_Mode, 0);
}

TEST_F(control_panel, mapping_menu_shows_a_window_and_keeps_it_shown) {
  press(state_button);
  press(state_button);
  EXPECT_TRUE(pump_until([] { return viewable(states); }));
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

TEST_F(control_panel, a_render_moves_the_counter_and_refreshes_only_while_events_are_due) {
  Current_State.iter = 37;
  XmScaleSetValue(state_sliders[7], 12);
  type_text(halt_at, "typed");
  EXPECT_EQ(render_lines("a.sco"), 2u + 37 * 25);
  EXPECT_EQ(panel(), "80 120 100 50 50 | 0.0250 | 36 | typed");
  EXPECT_EQ(scale_value(state_sliders[7]), 12);
  // A reseed due at 4 keeps the refreshes going until then: what the user
  // moved in between is put back.
  add_event_special();
  set_event_time(1, 4);
  Current_State.iter = 6;
  EXPECT_EQ(render_lines("b.sco"), 2u + 6 * 25);
  EXPECT_EQ(scale_value(state_sliders[7]), 50);
  EXPECT_EQ(text_in(halt_at), "6");
}

TEST_F(control_panel, render_an_event_list_refreshes_every_window) {
  parameters_type bells = Current_State;
  bells.r1 = 0.29f;
  bells.k = 2.5f;
  bells.dur = 0.05f;
  bells.iter = 9;
  std::fill_n(bells.states.begin(), 40, 70.0f);
  std::fill_n(bells.instrm.begin(), 25, 80.0f);
  add_event_params(bells, "bells.csp");  // at 0
  add_event_special();
  set_event_time(2, 3);  // a reseed at 3 keeps the refreshes going until then
  Current_State.iter = 6;
  EXPECT_EQ(render_lines("events.sco"), 2u + 6 * 25);
  EXPECT_EQ(panel(), "28 120 250 50 50 | 0.0500 | 5 | 9");  // iter 9 shown, not used
  for (Widget slider : state_sliders) EXPECT_EQ(scale_value(slider), 70);
  for (Widget slider : instrument_sliders) EXPECT_EQ(scale_value(slider), 80);
}

using control_panel_death = control_panel;

TEST_F(control_panel_death, quit_ends_the_program_with_status_0) {
  EXPECT_EXIT(press(find("widget1.widget28*widget37")), testing::ExitedWithCode(0), "");
}
