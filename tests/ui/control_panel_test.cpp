#include "engine/render.h"
#include "ui_fixture.h"

using control_panel = ui_fixture;

TEST_F(control_panel, shows_the_defaults_and_truncates_r1) {
  EXPECT_EQ(panel(), "80 120 100 50 50 | 0.0250 | 0 | 600");
  Current_State.r1 = 0.29f;  // held just below 0.29
  set_control();
  EXPECT_EQ(panel(), "28 120 100 50 50 | 0.0250 | 0 | 600");
}

TEST_F(control_panel, duration_arrows_step_by_a_thousandth_and_stop_at_their_limits) {
  for (int press_count = 0; press_count < 25; ++press_count) arm(dur_down);
  EXPECT_LT(Current_State.dur, 0.0f);
  EXPECT_GT(Current_State.dur, -1e-6f);
  const float bottom = Current_State.dur;
  arm(dur_down);
  EXPECT_EQ(Current_State.dur, bottom);
  EXPECT_EQ(text_in(duration), "-0.0000");

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
  for (const auto& [text, iter] : {std::pair("250", 250), {"abc", 250}}) {
    type_and_return(halt_at, text);
    EXPECT_EQ(Current_State.iter, iter) << text;
  }
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
  for (Widget slider : state_sliders) EXPECT_EQ(scale_value(slider), 70);
  for (Widget slider : instrument_sliders) EXPECT_EQ(scale_value(slider), 80);
}
