#include <algorithm>

#include "ui_fixture.h"

namespace {

using slider_windows = ui_fixture;
using entries_type = decltype(Current_State.states);

// Every slider shows its entry truncated, at the nearest end of 0..100.
template <std::size_t N>
void expect_sliders_follow(const std::array<Widget, N>& sliders, const entries_type& at) {
  for (std::size_t i = 0; i < N; ++i)
    EXPECT_EQ(scale_value(sliders[i]), std::clamp(static_cast<int>(at[i]), 0, 100)) << i;
}

struct run {  // entries first..last all hold value
  int first, last;
  float value;
};

void expect_runs(const entries_type& entries, const std::vector<run>& runs) {
  for (const run& r : runs)
    for (int i = r.first; i <= r.last; ++i) EXPECT_EQ(entries[i], r.value) << "entry " << i;
}

// Opens an Auto-set dialog from its window, types both fields, presses OK.
void auto_set(bool states, const std::string& start, const std::string& step) {
  press(find(states ? "states.state_form.widget51.widget56"
                    : "instruments.instrument_form.widget36.widget41"));
  type_text(states ? freq_auto_start : amp_auto_start, start);
  type_text(states ? freq_auto_mul : amp_auto_inc, step);
  press(XtNameToWidget(states ? auto_set_freq_form : auto_set_amp_form, "widget6"));
}

}  // namespace

TEST_F(slider_windows, locked_sliders_move_every_counted_entry_and_stop_at_100) {
  XmToggleButtonSetState(frequency_lock, True, True);
  Current_State.states[0] = 95.0f;
  Current_State.states[2] = 5.0f;
  set_all_frequencies();
  move_scale(state_sliders[1], 60);
  expect_runs(Current_State.states, {{0, 0, 100}, {1, 1, 60}, {2, 2, 15}, {3, 39, 60}, {40, 40, 0}});
  move_scale(state_sliders[1], 40);
  expect_runs(Current_State.states, {{0, 0, 80}, {1, 1, 40}, {2, 2, -5}, {3, 39, 40}});
  expect_sliders_follow(state_sliders, Current_State.states);
  EXPECT_EQ(text_in(frequency_disp), "46.53");

  XmToggleButtonSetState(amplitude_lock, True, True);
  Current_State.instrm[24] = 95.0f;
  set_all_amplitudes();
  move_scale(instrument_sliders[0], 60);
  expect_runs(Current_State.instrm, {{0, 23, 60}, {24, 24, 100}, {25, 25, 0}});
  expect_sliders_follow(instrument_sliders, Current_State.instrm);
  EXPECT_EQ(text_in(amplitude_disp), "1000");
}

TEST_F(slider_windows, reset_puts_every_counted_entry_at_50) {
  Current_State.Ns = 60;
  Current_State.noinstrm = 30;
  for (int i = 0; i < 100; ++i) Current_State.states[i] = Current_State.instrm[i] = float(i);
  press(reset_frequencys);
  press(reset_amplitudes);
  expect_runs(Current_State.states, {{0, 59, 50}, {60, 60, 60}, {99, 99, 99}});
  expect_runs(Current_State.instrm, {{0, 29, 50}, {30, 30, 30}});
  expect_sliders_follow(state_sliders, Current_State.states);
  expect_sliders_follow(instrument_sliders, Current_State.instrm);
  EXPECT_EQ(text_in(frequency_disp), "121.51");
  EXPECT_EQ(text_in(amplitude_disp), "500");
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
      // Counted from 1: state number 3 is entry 2; 49 is trunc(20 + 47 x 0.98456).
      {true, 50, 20, "3", "1.1", "", {{1, 1, 50}, {2, 3, 20}, {4, 4, 21}, {49, 49, 66}}},
      {false, 25, 50, "1", "5", "1000",
       {{0, 0, 50}, {1, 1, 55}, {4, 4, 70}, {9, 9, 95}, {10, 24, 100}}},
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
    auto_set(c.states, c.start, c.step);
    expect_runs(entries, c.runs);
    c.states ? expect_sliders_follow(state_sliders, entries)
             : expect_sliders_follow(instrument_sliders, entries);
    if (*c.display) {
      EXPECT_EQ(text_in(c.states ? frequency_disp : amplitude_disp), c.display);
    }
    EXPECT_FALSE(shown(c.states ? auto_set_freq_form : auto_set_amp_form));
  }
}

TEST_F(slider_windows, auto_sets_refuse_bad_numbers_and_stay_open_until_cancelled) {
  const parameters_type before = Current_State;
  const struct {
    bool states;
    const char *start, *step;
  } bad[] = {
      {true, "0", "2"},   {true, "41", "2"},  {true, "abc", "2"},  {true, "1", "0"},
      {true, "1", "-2"},  {false, "0", "5"},  {false, "26", "5"},  {false, "1", "five"},
      {false, "1", "99999999999"},
  };
  for (const auto& b : bad) {
    EXPECT_EQ(capture([&] { auto_set(b.states, b.start, b.step); }).err, "Bad number\n")
        << b.start << " / " << b.step;
    EXPECT_TRUE(shown(b.states ? auto_set_freq_form : auto_set_amp_form));
  }
  EXPECT_EQ(Current_State, before);
  press(XtNameToWidget(auto_set_freq_form, "widget7"));
  press(XtNameToWidget(auto_set_amp_form, "widget7"));
  EXPECT_FALSE(shown(auto_set_freq_form));
  EXPECT_FALSE(shown(auto_set_amp_form));
  EXPECT_EQ(Current_State, before);
}
