// The States window: sliders, lock, reset and the geometric auto-set.
#include "ui_fixture.h"

using namespace ui_test;

namespace {

class states_window : public ui_fixture {
 protected:
  void SetUp() override {
    ui_fixture::SetUp();
    press(state_button);
  }

  static void lock(bool set) { set_toggle(frequency_lock, set); }

  // Runs the dialog's OK with the two fields as typed.
  static void auto_set(const std::string& start, const std::string& multiple) {
    press(XtNameToWidget(states, "state_form.widget51.widget56"));
    type_text(freq_auto_start, start);
    type_text(freq_auto_mul, multiple);
    press(XtNameToWidget(auto_set_freq_form, "widget6"));
  }

  static float entry(int s) { return Current_State.states[s]; }
};

}  // namespace

TEST_F(states_window, starts_at_the_default_positions) {
  for (Widget slider : state_sliders) {
    EXPECT_EQ(scale_value(slider), 50);
    int minimum = -1, maximum = 0;
    Boolean value_shown = True;
    XtVaGetValues(slider, XmNminimum, &minimum, XmNmaximum, &maximum, XmNshowValue,
                  &value_shown, nullptr);
    EXPECT_EQ(minimum, 0);
    EXPECT_EQ(maximum, 100);
    EXPECT_FALSE(value_shown);
  }
  EXPECT_EQ(text_in(frequency_disp), "");
  EXPECT_FALSE(XmToggleButtonGetState(frequency_lock));
}

TEST_F(states_window, a_slider_sets_its_own_state) {
  const parameters_type before = Current_State;
  move_scale(state_sliders[3], 60);
  EXPECT_EQ(entry(3), 60.0f);
  EXPECT_EQ(text_in(frequency_disp), "317.35");
  parameters_type expected = before;
  expected.states[3] = 60.0f;
  EXPECT_EQ(Current_State, expected);
  EXPECT_EQ(scale_value(state_sliders[2]), 50);
}

TEST_F(states_window, locked_sliders_move_together) {
  lock(true);
  EXPECT_EQ(Freq_Lock, 1);
  move_scale(state_sliders[0], 60);
  for (int s = 0; s < 40; ++s) {
    EXPECT_EQ(entry(s), 60.0f) << s;
    EXPECT_EQ(scale_value(state_sliders[s]), 60) << s;
  }
  EXPECT_EQ(text_in(frequency_disp), "317.35");
  EXPECT_EQ(entry(40), 0.0f);  // beyond Ns: untouched
}

TEST_F(states_window, locked_positions_stop_at_100_and_go_below_0) {
  Current_State.states[0] = 95.0f;
  Current_State.states[2] = 5.0f;
  set_all_frequencies();
  lock(true);
  move_scale(state_sliders[1], 60);
  EXPECT_EQ(entry(0), 100.0f);
  EXPECT_EQ(entry(1), 60.0f);
  EXPECT_EQ(entry(2), 15.0f);
  EXPECT_EQ(entry(3), 60.0f);

  move_scale(state_sliders[1], 50);  // down by 10
  EXPECT_EQ(entry(0), 90.0f);
  EXPECT_EQ(entry(2), 5.0f);
  move_scale(state_sliders[1], 40);
  EXPECT_EQ(entry(2), -5.0f);
  EXPECT_EQ(scale_value(state_sliders[2]), 0);  // the nearest end it can show
  EXPECT_EQ(text_in(frequency_disp), "46.53");  // the moved slider's 40
  modify_freq(2, -5);
  EXPECT_EQ(text_in(frequency_disp), "0.62");
}

TEST_F(states_window, a_slider_beyond_ns_keeps_to_its_own_entry) {
  Current_State.Ns = 8;
  move_scale(state_sliders[20], 70);
  EXPECT_EQ(entry(20), 70.0f);
  EXPECT_EQ(text_in(frequency_disp), "");
  for (int s = 0; s < 8; ++s) EXPECT_EQ(entry(s), 50.0f);

  lock(true);
  move_scale(state_sliders[20], 65);  // 5 down from its stored 70
  for (int s = 0; s < 8; ++s) EXPECT_EQ(entry(s), 45.0f) << s;
  EXPECT_EQ(entry(8), 50.0f);
  EXPECT_EQ(entry(20), 65.0f);
}

TEST_F(states_window, reset_puts_every_state_at_50) {
  Current_State.Ns = 60;
  for (int s = 0; s < 100; ++s) Current_State.states[s] = static_cast<float>(s);
  lock(true);
  press(reset_frequencys);
  for (int s = 0; s < 60; ++s) EXPECT_EQ(entry(s), 50.0f) << s;
  for (int s = 60; s < 100; ++s) EXPECT_EQ(entry(s), static_cast<float>(s)) << s;
  EXPECT_EQ(text_in(frequency_disp), "121.51");
  for (Widget slider : state_sliders) EXPECT_EQ(scale_value(slider), 50);
  EXPECT_TRUE(shown(state_form));  // only "Quit" hides the window
}

TEST_F(states_window, states_beyond_the_sliders_follow_the_lock) {
  Current_State.Ns = 60;
  for (int s = 40; s < 60; ++s) Current_State.states[s] = 50.0f;
  lock(true);
  move_scale(state_sliders[5], 55);
  for (int s = 0; s < 60; ++s) EXPECT_EQ(entry(s), 55.0f) << s;
  EXPECT_EQ(entry(60), 0.0f);
}

TEST_F(states_window, auto_set_spreads_a_geometric_progression) {
  auto_set("1", "2");
  const float expected[] = {50, 57, 64, 71, 78, 85, 92};
  for (int s = 0; s < 7; ++s) EXPECT_EQ(entry(s), expected[s]) << s;
  for (int s = 7; s < 40; ++s) EXPECT_EQ(entry(s), 100.0f) << s;
  EXPECT_EQ(scale_value(state_sliders[3]), 71);
  EXPECT_EQ(scale_value(state_sliders[39]), 100);
  EXPECT_EQ(text_in(frequency_disp), "14764.78");
  EXPECT_FALSE(shown(auto_set_freq_form));
}

TEST_F(states_window, auto_set_below_1_falls_and_may_go_below_0) {
  auto_set("1", "0.5");  // each step -7.16 positions
  EXPECT_EQ(entry(1), 42.0f);
  EXPECT_EQ(entry(2), 35.0f);
  EXPECT_EQ(entry(6), 7.0f);
  EXPECT_EQ(entry(7), 0.0f);  // trunc(-0.12)
  EXPECT_EQ(entry(8), -7.0f);
  EXPECT_EQ(scale_value(state_sliders[8]), 0);
}

TEST_F(states_window, auto_set_counts_from_1_and_covers_states_beyond_the_sliders) {
  Current_State.Ns = 50;
  for (int s = 40; s < 50; ++s) Current_State.states[s] = 50.0f;
  Current_State.states[2] = 20.0f;
  auto_set("3", "1.1");  // base: state number 3, entry 2
  EXPECT_EQ(entry(1), 50.0f);
  EXPECT_EQ(entry(2), 20.0f);
  EXPECT_EQ(entry(3), 20.0f);  // trunc(20.98)
  EXPECT_EQ(entry(4), 21.0f);  // trunc(21.97)
  EXPECT_EQ(entry(49), 66.0f);  // trunc(20 + 47 x 0.98456)
}

TEST_F(states_window, auto_set_at_ns_only_refreshes_and_closes) {
  const parameters_type before = Current_State;
  XmScaleSetValue(state_sliders[10], 3);  // out of step with its entry
  auto_set("40", "3");
  EXPECT_EQ(Current_State, before);
  EXPECT_EQ(scale_value(state_sliders[10]), 50);
  EXPECT_FALSE(shown(auto_set_freq_form));
}

TEST_F(states_window, auto_set_refuses_bad_numbers_and_stays_open) {
  const parameters_type before = Current_State;
  const std::pair<const char*, const char*> bad[] = {
      {"0", "2"}, {"41", "2"}, {"", "2"}, {"abc", "2"}, {"1", ""},
      {"1", "x"}, {"1", "0"}, {"1", "-2"}, {"1", "nan"}, {"99999999999", "2"},
  };
  for (const auto& [start, multiple] : bad) {
    testing::internal::CaptureStderr();
    auto_set(start, multiple);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Bad number\n")
        << start << " / " << multiple;
    EXPECT_EQ(Current_State, before);
    EXPECT_TRUE(shown(auto_set_freq_form));
  }
}

TEST_F(states_window, cancel_and_quit_hide_and_change_nothing) {
  press(XtNameToWidget(states, "state_form.widget51.widget56"));
  EXPECT_TRUE(shown(auto_set_freq_form));
  type_text(freq_auto_start, "1");
  type_text(freq_auto_mul, "2");
  const parameters_type before = Current_State;
  press(XtNameToWidget(auto_set_freq_form, "widget7"));
  EXPECT_FALSE(shown(auto_set_freq_form));
  EXPECT_EQ(Current_State, before);
  EXPECT_EQ(text_in(freq_auto_start), "1");  // kept for the next showing

  press(quit_frequencys);
  EXPECT_FALSE(shown(state_form));
  press(state_button);
  EXPECT_TRUE(shown(state_form));
}

TEST_F(states_window, lock_only_records_the_toggle) {
  testing::internal::CaptureStdout();
  const parameters_type before = Current_State;
  lock(true);
  EXPECT_EQ(Freq_Lock, 1);
  lock(false);
  EXPECT_EQ(Freq_Lock, 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(Current_State, before);
}

TEST_F(states_window, refresh_moves_sliders_but_leaves_the_field) {
  modify_freq(0, 60);
  for (int s = 0; s < 40; ++s) Current_State.states[s] = static_cast<float>(s) + 0.9f;
  set_all_frequencies();
  for (int s = 0; s < 40; ++s) EXPECT_EQ(scale_value(state_sliders[s]), s);
  EXPECT_EQ(text_in(frequency_disp), "317.35");
}
