// A render inside the interface: the counter follows it, and an event list
// brings the windows in step with the parameters it applies.
#include "engine/render.h"
#include "ui_fixture.h"

using namespace ui_test;

namespace {

using render = ui_fixture;

// Renders into the score file `name`; the lines it holds.
std::size_t render_lines(const char* name) {
  std::FILE* score = std::fopen(name, "w");
  EXPECT_EQ(score ? play_ca(score) : -1, render_complete);
  return test_support::lines_of(slurp(name)).size();
}

}  // namespace

TEST_F(render, without_events_only_the_counter_follows) {
  Current_State.iter = 37;
  XmScaleSetValue(state_sliders[7], 12);
  type_text(halt_at, "typed");
  EXPECT_EQ(render_lines("a.sco"), 2u + 37 * 25);
  EXPECT_EQ(panel(), "80 120 100 50 50 | 0.0250 | 36 | typed");
  EXPECT_EQ(scale_value(state_sliders[7]), 12);
}

TEST_F(render, an_event_list_refreshes_every_window) {
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

TEST_F(render, windows_are_put_back_while_events_are_pending) {
  add_event_special();
  set_event_time(1, 4);
  Current_State.iter = 6;
  XmScaleSetValue(state_sliders[7], 12);
  type_text(halt_at, "typed");
  EXPECT_EQ(render_lines("quiet.sco"), 2u + 6 * 25);
  EXPECT_EQ(scale_value(state_sliders[7]), 50);
  EXPECT_EQ(text_in(halt_at), "6");
}
