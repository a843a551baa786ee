// The States and Instruments windows, built from one slider window: their
// sliders, locks, Reset and Quit, and the two Auto-set dialogs.
#include "ui_fixture.h"

#include <algorithm>

namespace {

// Every slider shows its entry truncated, at the nearest end of 0..100.
template <std::size_t N, std::size_t M>
void expect_sliders_follow(const std::array<Widget, N>& sliders, const std::array<float, M>& at) {
  for (std::size_t i = 0; i < N; ++i)
    EXPECT_EQ(scale_value(sliders[i]), std::clamp(static_cast<int>(at[i]), 0, 100)) << i;
}

struct run {  // entries first..last all hold value
  int first, last;
  float value;
};

template <std::size_t N>
void expect_runs(const std::array<float, N>& entries, const std::vector<run>& runs) {
  for (const run& r : runs)
    for (int i = r.first; i <= r.last; ++i) EXPECT_EQ(entries[i], r.value) << "entry " << i;
}

using slider_windows = ui_fixture;

// Opens an Auto-set dialog from its window, types both fields, presses OK.
void auto_set(const char* button, Widget dialog, Widget first, Widget second,
              const std::string& a, const std::string& b) {
  press(find(button));
  type_text(first, a);
  type_text(second, b);
  press(XtNameToWidget(dialog, "widget6"));
}
void auto_set_states(const std::string& start, const std::string& multiple) {
  auto_set("states.state_form.widget51.widget56", auto_set_freq_form, freq_auto_start,
           freq_auto_mul, start, multiple);
}
void auto_set_instruments(const std::string& start, const std::string& increment) {
  auto_set("instruments.instrument_form.widget36.widget41", auto_set_amp_form, amp_auto_start,
           amp_auto_inc, start, increment);
}

}  // namespace

TEST_F(slider_windows, start_at_50_unlocked_and_locks_record_the_toggle) {
  for (Widget slider : state_sliders) EXPECT_EQ(scale_value(slider), 50);
  for (Widget slider : instrument_sliders) EXPECT_EQ(scale_value(slider), 50);
  EXPECT_EQ(text_in(frequency_disp), "");
  EXPECT_EQ(text_in(amplitude_disp), "");
  EXPECT_FALSE(XmToggleButtonGetState(frequency_lock));
  EXPECT_FALSE(XmToggleButtonGetState(amplitude_lock));
  const parameters_type before = Current_State;
  const captured_output o = capture([] {
    XmToggleButtonSetState(frequency_lock, True, True);
    XmToggleButtonSetState(amplitude_lock, True, True);
    XmToggleButtonSetState(amplitude_lock, False, True);
  });
  EXPECT_EQ(o.out, "lock=1\nlock=0\n");  // only the amplitude lock echoes
  EXPECT_EQ(Freq_Lock, 1);
  EXPECT_EQ(Amp_Lock, 0);
  EXPECT_EQ(Current_State, before);
}

TEST_F(slider_windows, an_unlocked_slider_sets_its_own_entry_within_the_count) {
  parameters_type expected = Current_State;
  move_scale(state_sliders[3], 60);
  move_scale(instrument_sliders[3], 60);
  expected.states[3] = 60.0f;
  expected.instrm[3] = 60.0f;
  EXPECT_EQ(Current_State, expected);
  EXPECT_EQ(text_in(frequency_disp), "317.35");
  EXPECT_EQ(text_in(amplitude_disp), "600");
  EXPECT_EQ(scale_value(state_sliders[2]), 50);
  // Beyond Ns a state slider keeps to its entry; beyond noinstrm an
  // instrument slider stores nothing. Neither shows its value.
  Current_State.Ns = 8;
  Current_State.noinstrm = 10;
  expected = Current_State;
  move_scale(state_sliders[20], 70);
  move_scale(instrument_sliders[20], 70);
  expected.states[20] = 70.0f;
  EXPECT_EQ(Current_State, expected);
  EXPECT_EQ(text_in(frequency_disp), "317.35");
  EXPECT_EQ(text_in(amplitude_disp), "600");
}

TEST_F(slider_windows, locked_states_move_together_past_the_ends_and_beyond_the_sliders) {
  XmToggleButtonSetState(frequency_lock, True, True);
  move_scale(state_sliders[0], 60);
  expect_runs(Current_State.states, {{0, 39, 60}, {40, 40, 0}});
  expect_sliders_follow(state_sliders, Current_State.states);
  EXPECT_EQ(text_in(frequency_disp), "317.35");
  // Stops at 100; goes below 0 where the slider can only show 0.
  std::fill_n(Current_State.states.begin(), 40, 50.0f);
  Current_State.states[0] = 95.0f;
  Current_State.states[2] = 5.0f;
  set_all_frequencies();
  move_scale(state_sliders[1], 60);
  expect_runs(Current_State.states, {{0, 0, 100}, {1, 1, 60}, {2, 2, 15}, {3, 3, 60}});
  move_scale(state_sliders[1], 50);
  expect_runs(Current_State.states, {{0, 0, 90}, {1, 1, 50}, {2, 2, 5}});
  move_scale(state_sliders[1], 40);
  EXPECT_EQ(Current_State.states[2], -5.0f);
  expect_sliders_follow(state_sliders, Current_State.states);
  EXPECT_EQ(text_in(frequency_disp), "46.53");  // the moved slider's 40
  modify_freq(2, -5);
  EXPECT_EQ(text_in(frequency_disp), "0.62");
  // All Ns states move, those without a slider too; a slider beyond Ns
  // moves them by its own step.
  Current_State.Ns = 60;
  std::fill_n(Current_State.states.begin(), 60, 50.0f);
  move_scale(state_sliders[5], 55);
  expect_runs(Current_State.states, {{0, 59, 55}, {60, 60, 0}});
  Current_State.Ns = 8;
  std::fill_n(Current_State.states.begin(), 40, 50.0f);
  Current_State.states[20] = 70.0f;
  move_scale(state_sliders[20], 65);
  expect_runs(Current_State.states, {{0, 7, 45}, {8, 8, 50}, {20, 20, 65}});
}

TEST_F(slider_windows, locked_instruments_move_together_and_show_the_last_one) {
  XmToggleButtonSetState(amplitude_lock, True, True);
  move_scale(instrument_sliders[0], 60);
  expect_runs(Current_State.instrm, {{0, 24, 60}, {25, 25, 0}});
  expect_sliders_follow(instrument_sliders, Current_State.instrm);
  EXPECT_EQ(text_in(amplitude_disp), "600");
  std::fill_n(Current_State.instrm.begin(), 24, 50.0f);
  Current_State.instrm[24] = 95.0f;
  set_all_amplitudes();
  move_scale(instrument_sliders[0], 60);
  expect_runs(Current_State.instrm, {{0, 0, 60}, {24, 24, 100}});
  EXPECT_EQ(text_in(amplitude_disp), "1000");
  // Beyond noinstrm, every move is measured from the slider's unchanged 50.
  Current_State.noinstrm = 10;
  std::fill_n(Current_State.instrm.begin(), 25, 50.0f);
  move_scale(instrument_sliders[20], 45);
  expect_runs(Current_State.instrm, {{0, 9, 45}, {10, 10, 50}});
  move_scale(instrument_sliders[20], 47);
  expect_runs(Current_State.instrm, {{0, 9, 42}, {10, 10, 50}, {20, 20, 50}});
}

TEST_F(slider_windows, reset_puts_every_counted_entry_at_50) {
  Current_State.Ns = 60;
  Current_State.noinstrm = 30;
  for (int i = 0; i < 100; ++i) Current_State.states[i] = Current_State.instrm[i] = float(i);
  press(state_button);
  press(instrument_button);
  press(reset_frequencys);
  press(reset_amplitudes);
  expect_runs(Current_State.states, {{0, 59, 50}});
  for (int s = 60; s < 100; ++s) EXPECT_EQ(Current_State.states[s], float(s));
  expect_runs(Current_State.instrm, {{0, 29, 50}, {30, 30, 30}});
  expect_sliders_follow(state_sliders, Current_State.states);
  expect_sliders_follow(instrument_sliders, Current_State.instrm);
  EXPECT_EQ(text_in(frequency_disp), "121.51");
  EXPECT_EQ(text_in(amplitude_disp), "500");
  EXPECT_TRUE(shown(state_form));  // only Quit hides a window
  EXPECT_TRUE(shown(instrument_form));
}

TEST_F(slider_windows, auto_sets_spread_geometric_and_arithmetic_progressions) {
  const struct {
    bool states;  // else instruments
    int count;    // Ns or noinstrm; every entry up to it at 50 but the base
    float base;   // entry 2 of the states, 1 of the instruments
    const char *start, *step, *display;
    std::vector<run> runs;
  } cases[] = {
      {true, 40, 50, "1", "2", "14764.78",
       {{0, 0, 50}, {1, 1, 57}, {2, 2, 64}, {3, 3, 71}, {4, 4, 78}, {5, 5, 85}, {6, 6, 92},
        {7, 39, 100}}},
      // Each step -7.16; entry 7 is trunc(-0.12).
      {true, 40, 50, "1", "0.5", "", {{1, 1, 42}, {2, 2, 35}, {6, 6, 7}, {7, 7, 0}, {8, 8, -7}}},
      // Counted from 1: state number 3 is entry 2; 49 is trunc(20 + 47 x 0.98456).
      {true, 50, 20, "3", "1.1", "", {{1, 1, 50}, {2, 3, 20}, {4, 4, 21}, {49, 49, 66}}},
      {true, 40, 50, "40", "3", "", {{0, 39, 50}}},  // at Ns: a refresh only
      {false, 25, 50, "1", "5", "1000",
       {{0, 0, 50}, {1, 1, 55}, {4, 4, 70}, {9, 9, 95}, {10, 24, 100}}},
      // Counted from 1: base trunc(20.5).
      {false, 30, 20.5f, "2", "-3", "-640",
       {{0, 0, 50}, {1, 1, 20.5f}, {2, 2, 17}, {7, 7, 2}, {8, 8, -1}, {29, 29, -64}}},
      // No integer overflow.
      {false, 25, 50, "1", "2000000000", "1000", {{1, 24, 100}}},
      {false, 25, 50, "1", "-2000000000", "-2147483648",
       {{0, 0, 50}, {1, 1, -1999999950.0f}, {2, 24, -2147483648.0f}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.start) + " / " + c.step);
    auto& entries = c.states ? Current_State.states : Current_State.instrm;
    (c.states ? Current_State.Ns : Current_State.noinstrm) = c.count;
    std::fill_n(entries.begin(), c.count, 50.0f);
    entries[c.states ? 2 : 1] = c.base;
    XmScaleSetValue(c.states ? state_sliders[10] : instrument_sliders[10], 3);  // out of step
    c.states ? auto_set_states(c.start, c.step) : auto_set_instruments(c.start, c.step);
    expect_runs(entries, c.runs);
    c.states ? expect_sliders_follow(state_sliders, entries)
             : expect_sliders_follow(instrument_sliders, entries);
    if (*c.display) {
      EXPECT_EQ(text_in(c.states ? frequency_disp : amplitude_disp), c.display);
    }
    EXPECT_FALSE(shown(c.states ? auto_set_freq_form : auto_set_amp_form));
  }
}

TEST_F(slider_windows, auto_sets_refuse_bad_numbers_and_stay_open_until_cancelled_or_quit) {
  const parameters_type before = Current_State;
  const struct {
    bool states;
    const char *start, *step;
  } bad[] = {
      {true, "0", "2"},   {true, "41", "2"}, {true, "", "2"},   {true, "abc", "2"},
      {true, "1", ""},    {true, "1", "x"},  {true, "1", "0"},  {true, "1", "-2"},
      {true, "1", "nan"}, {true, "99999999999", "2"},           {false, "0", "5"},
      {false, "26", "5"}, {false, "", "5"},  {false, "x", "5"}, {false, "1", ""},
      {false, "1", "five"}, {false, "1", "99999999999"},
  };
  for (const auto& b : bad) {
    EXPECT_EQ(capture([&] {
                b.states ? auto_set_states(b.start, b.step) : auto_set_instruments(b.start, b.step);
              }).err,
              "Bad number\n")
        << b.start << " / " << b.step;
    EXPECT_TRUE(shown(b.states ? auto_set_freq_form : auto_set_amp_form));
  }
  EXPECT_EQ(Current_State, before);
  type_text(freq_auto_start, "1");
  type_text(freq_auto_mul, "2");
  press(XtNameToWidget(auto_set_freq_form, "widget7"));
  press(XtNameToWidget(auto_set_amp_form, "widget7"));
  EXPECT_FALSE(shown(auto_set_freq_form));
  EXPECT_FALSE(shown(auto_set_amp_form));
  EXPECT_EQ(Current_State, before);
  EXPECT_EQ(text_in(freq_auto_start), "1");  // kept for the next showing
  press(quit_frequencys);
  press(quit_amplitudes);
  EXPECT_FALSE(shown(state_form));
  EXPECT_FALSE(shown(instrument_form));
  press(state_button);
  EXPECT_TRUE(shown(state_form));
}
