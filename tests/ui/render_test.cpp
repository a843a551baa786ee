// A render inside the interface: the counter follows it and the event list
// brings the windows in step with the parameters it applies.
#include "ui_fixture.h"

#include "engine/render.h"
#include "events/event_list.h"

using namespace ui_test;

namespace {

class render : public ui_fixture {
 protected:
  static int render_to(const char* name) {
    std::FILE* score = std::fopen(name, "w");
    EXPECT_NE(score, nullptr);
    return score ? play_ca(score) : -99;
  }
};

}  // namespace

TEST_F(render, the_counter_ends_on_the_last_iteration) {
  Current_State.iter = 37;
  ASSERT_EQ(render_to("a.sco"), render_complete);
  EXPECT_EQ(text_in(counter), "36");
  EXPECT_EQ(line_count(read_file("a.sco")), 2 + 37 * 25);
  // Nothing else was touched: no event list, no refresh.
  EXPECT_EQ(scale_value(r1), 80);
  EXPECT_EQ(text_in(halt_at), "600");
}

TEST_F(render, an_event_list_refreshes_every_window) {
  parameters_type bells = Current_State;
  bells.r1 = 0.29f;
  bells.k = 2.5f;
  bells.dur = 0.05f;
  bells.iter = 9;
  for (int s = 0; s < 40; ++s) bells.states[s] = 70.0f;
  for (int i = 0; i < 25; ++i) bells.instrm[i] = 80.0f;
  add_event_params(bells, "bells.csp");  // at 0
  add_event_special();
  set_event_time(2, 3);  // a reseed at 3 keeps the refreshes going until then
  Current_State.iter = 6;

  ASSERT_EQ(render_to("events.sco"), render_complete);
  EXPECT_EQ(scale_value(r1), 28);
  EXPECT_EQ(scale_value(k), 250);
  EXPECT_EQ(text_in(duration), "0.0500");
  EXPECT_EQ(text_in(halt_at), "9");  // the event's iter, shown but not used
  EXPECT_EQ(text_in(counter), "5");
  for (Widget slider : state_sliders) EXPECT_EQ(scale_value(slider), 70);
  for (Widget slider : instrument_sliders) EXPECT_EQ(scale_value(slider), 80);
  EXPECT_EQ(line_count(read_file("events.sco")), 2 + 6 * 25);
}

TEST_F(render, windows_stay_put_when_the_parameters_do) {
  // A refresh repeats at every iteration until the last event is due; a
  // slider the user holds away from its entry in between is put back.
  add_event_special();
  set_event_time(1, 4);
  Current_State.iter = 6;
  XmScaleSetValue(state_sliders[7], 12);
  type_text(halt_at, "typed");
  ASSERT_EQ(render_to("quiet.sco"), render_complete);
  EXPECT_EQ(scale_value(state_sliders[7]), 50);
  EXPECT_EQ(text_in(halt_at), "6");
}
