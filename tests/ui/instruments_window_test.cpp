// The Instruments window: amplitude sliders, lock, reset and the
// arithmetic auto-set.
#include "ui_fixture.h"

using namespace ui_test;

namespace {

class instruments_window : public ui_fixture {
 protected:
  void SetUp() override {
    ui_fixture::SetUp();
    press(instrument_button);
  }

  static void lock(bool set) { set_toggle(amplitude_lock, set); }

  static void auto_set(const std::string& start, const std::string& increment) {
    press(XtNameToWidget(instruments, "instrument_form.widget36.widget41"));
    type_text(amp_auto_start, start);
    type_text(amp_auto_inc, increment);
    press(XtNameToWidget(auto_set_amp_form, "widget6"));
  }

  static float entry(int i) { return Current_State.instrm[i]; }
};

}  // namespace

TEST_F(instruments_window, starts_at_the_default_positions) {
  for (Widget slider : instrument_sliders) EXPECT_EQ(scale_value(slider), 50);
  EXPECT_EQ(text_in(amplitude_disp), "");
  EXPECT_FALSE(XmToggleButtonGetState(amplitude_lock));
}

TEST_F(instruments_window, a_slider_sets_its_own_instrument) {
  parameters_type expected = Current_State;
  move_scale(instrument_sliders[3], 60);
  expected.instrm[3] = 60.0f;
  EXPECT_EQ(Current_State, expected);
  EXPECT_EQ(text_in(amplitude_disp), "600");
}

TEST_F(instruments_window, locked_sliders_move_together_and_show_the_last_instrument) {
  lock(true);
  move_scale(instrument_sliders[0], 60);
  for (int i = 0; i < 25; ++i) {
    EXPECT_EQ(entry(i), 60.0f) << i;
    EXPECT_EQ(scale_value(instrument_sliders[i]), 60) << i;
  }
  EXPECT_EQ(text_in(amplitude_disp), "600");

  Current_State.instrm[24] = 95.0f;
  for (int i = 0; i < 24; ++i) Current_State.instrm[i] = 50.0f;
  set_all_amplitudes();
  move_scale(instrument_sliders[0], 60);
  EXPECT_EQ(entry(24), 100.0f);
  EXPECT_EQ(entry(0), 60.0f);
  EXPECT_EQ(text_in(amplitude_disp), "1000");
}

TEST_F(instruments_window, a_slider_beyond_noinstrm_stores_nothing) {
  Current_State.noinstrm = 10;
  const parameters_type before = Current_State;
  move_scale(instrument_sliders[20], 70);
  EXPECT_EQ(Current_State, before);
  EXPECT_EQ(text_in(amplitude_disp), "");

  // Locked, every move is measured from the slider's unchanged entry (50).
  lock(true);
  move_scale(instrument_sliders[20], 45);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(entry(i), 45.0f) << i;
  move_scale(instrument_sliders[20], 47);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(entry(i), 42.0f) << i;
  EXPECT_EQ(entry(10), 50.0f);
  EXPECT_EQ(entry(20), 50.0f);
}

TEST_F(instruments_window, reset_puts_every_instrument_at_50) {
  Current_State.noinstrm = 30;
  for (int i = 0; i < 100; ++i) Current_State.instrm[i] = static_cast<float>(i);
  press(reset_amplitudes);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(entry(i), 50.0f) << i;
  EXPECT_EQ(entry(30), 30.0f);
  EXPECT_EQ(text_in(amplitude_disp), "500");
  for (Widget slider : instrument_sliders) EXPECT_EQ(scale_value(slider), 50);
  EXPECT_TRUE(shown(instrument_form));
}

TEST_F(instruments_window, auto_set_spreads_an_arithmetic_progression) {
  auto_set("1", "5");
  EXPECT_EQ(entry(0), 50.0f);
  for (int i = 1; i < 10; ++i) EXPECT_EQ(entry(i), 50.0f + 5.0f * i) << i;
  for (int i = 10; i < 25; ++i) EXPECT_EQ(entry(i), 100.0f) << i;
  EXPECT_EQ(scale_value(instrument_sliders[4]), 70);
  EXPECT_EQ(text_in(amplitude_disp), "1000");
  EXPECT_FALSE(shown(auto_set_amp_form));
}

TEST_F(instruments_window, auto_set_falls_below_0_and_reaches_beyond_the_sliders) {
  Current_State.noinstrm = 30;
  for (int i = 25; i < 30; ++i) Current_State.instrm[i] = 50.0f;
  Current_State.instrm[1] = 20.5f;
  auto_set("2", "-3");  // base: instrument number 2, trunc(20.5) = 20
  EXPECT_EQ(entry(0), 50.0f);
  EXPECT_EQ(entry(1), 20.5f);
  EXPECT_EQ(entry(2), 17.0f);
  EXPECT_EQ(entry(7), 2.0f);
  EXPECT_EQ(entry(8), -1.0f);
  EXPECT_EQ(entry(29), -64.0f);
  EXPECT_EQ(scale_value(instrument_sliders[8]), 0);
  EXPECT_EQ(text_in(amplitude_disp), "-640");
}

TEST_F(instruments_window, auto_set_with_a_huge_increment_does_not_overflow) {
  auto_set("1", "2000000000");
  for (int i = 1; i < 25; ++i) EXPECT_EQ(entry(i), 100.0f) << i;

  auto_set("1", "-2000000000");
  EXPECT_EQ(entry(0), 50.0f);
  EXPECT_EQ(entry(1), -1999999950.0f);
  for (int i = 2; i < 25; ++i) EXPECT_EQ(entry(i), -2147483648.0f) << i;
  EXPECT_EQ(text_in(amplitude_disp), "-2147483648");
}

TEST_F(instruments_window, auto_set_refuses_bad_numbers_and_stays_open) {
  const parameters_type before = Current_State;
  const std::pair<const char*, const char*> bad[] = {
      {"0", "5"}, {"26", "5"}, {"", "5"}, {"x", "5"}, {"1", ""}, {"1", "five"},
      {"1", "99999999999"},
  };
  for (const auto& [start, increment] : bad) {
    testing::internal::CaptureStderr();
    auto_set(start, increment);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Bad number\n")
        << start << " / " << increment;
    EXPECT_EQ(Current_State, before);
    EXPECT_TRUE(shown(auto_set_amp_form));
  }
  press(XtNameToWidget(auto_set_amp_form, "widget7"));
  EXPECT_FALSE(shown(auto_set_amp_form));
  EXPECT_EQ(Current_State, before);
}

TEST_F(instruments_window, lock_echoes_its_state) {
  testing::internal::CaptureStdout();
  lock(true);
  EXPECT_EQ(Amp_Lock, 1);
  lock(false);
  EXPECT_EQ(Amp_Lock, 0);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "lock=1\nlock=0\n");
}

TEST_F(instruments_window, quit_hides_the_window) {
  press(quit_amplitudes);
  EXPECT_FALSE(shown(instrument_form));
}

TEST_F(instruments_window, layout) {
  Dimension width = 0;
  Dimension height = 0;
  XtVaGetValues(instrument_holder, XmNwidth, &width, XmNheight, &height, nullptr);
  EXPECT_EQ(width, 568);
  EXPECT_EQ(height, 182);
  XtVaGetValues(state_holder, XmNheight, &height, nullptr);
  EXPECT_EQ(height, 182);
}
