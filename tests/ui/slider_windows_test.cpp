#include <Xm/ScrolledW.h>

#include "ui_fixture.h"
#include "engine/mapping/scales.h"

namespace {

using slider_windows = ui_fixture;

// The user's resource file (tests/ui/user_resources), read when the
// interface is built.
const bool resources_named = ::setenv("XENVIRONMENT", ZELMORA_USER_RESOURCES, 1) == 0;

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

// Whether the slider lies wholly inside the visible part of its row.
bool in_sight(Widget slider) {
  Widget clip = XtParent(XtParent(XtParent(slider)));
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(display, XtWindow(slider), XtWindow(clip), 0, 0, &x, &y, &child);
  Dimension slider_width = 0, clip_width = 0;
  XtVaGetValues(slider, XmNwidth, &slider_width, nullptr);
  XtVaGetValues(clip, XmNwidth, &clip_width, nullptr);
  return x >= 0 && x + slider_width <= clip_width;
}

}  // namespace

// Reset and Lock touch the entries in use only. Locked, every entry moves
// by the same offset (for states the same ratio), fractions kept, and a
// move stops where the first entry meets the top, so the spacing never
// breaks. Also: more sliders than before (fewer: dialogs_test; events
// never change the counts: event_apply_test).
TEST_F(slider_windows, reset_and_lock_move_every_counted_entry_by_the_same_offset) {
  Current_State.Ns = 60;
  Current_State.noinstrm = 30;
  for (int i = 0; i < 100; ++i) Current_State.states[i] = Current_State.instrm[i] = float(i);
  press(reset_frequencys);
  press(reset_amplitudes);
  expect_runs(Current_State.states, {{0, 59, 50}, {60, 60, 60}, {99, 99, 99}});
  expect_runs(Current_State.instrm, {{0, 29, 50}, {30, 30, 30}});
  expect_sliders_follow(instrument_sliders, Current_State.instrm, 30);

  XmToggleButtonSetState(frequency_lock, True, True);
  XmToggleButtonSetState(amplitude_lock, True, True);
  for (int i = 0; i < 60; ++i) Current_State.states[i] = 40.0f + i * 0.37f;  // a tuning
  Current_State.states[0] = Current_State.instrm[0] = 95.5f;
  set_all_frequencies();
  set_all_amplitudes();
  // A slider let go where it shows its entry moves nothing, fractions included.
  parameters_type before = Current_State;
  move_scale(state_sliders[0], 9550);
  move_scale(instrument_sliders[0], 95);
  EXPECT_EQ(Current_State, before);

  for (const int to : {3537, 9000}) {  // down 5 positions; up, cut short at the top
    before = Current_State;
    move_scale(state_sliders[1], to);
    const double offset = std::min(to / 100.0 - before.states[1], 100.0 - before.states[0]);
    for (int i = 0; i < 100; ++i)
      EXPECT_EQ(Current_State.states[i], i < 60 ? float(before.states[i] + offset)
                                                : before.states[i]) << to << " entry " << i;
    expect_sliders_follow(state_sliders, Current_State.states, 60);
  }
  EXPECT_EQ(Current_State.states[0], 100.0f);
  move_scale(instrument_sliders[1], 70);
  expect_runs(Current_State.instrm, {{0, 0, 100}, {1, 29, 54.5f}, {30, 30, 30}});
}

// "Start at" counts as the sliders' labels do, from 0; a state's multiple
// is an exact ratio, an instrument's increment is in the amplitude the
// field shows. Refused numbers say which field takes what, keep the dialog
// up and change nothing; hiding a window hides its dialog.
TEST_F(slider_windows, auto_sets_spread_progressions_and_refuse_bad_numbers) {
  const auto states_from = [](float base, double multiple, int start, int n) {
    return float(base + hertz_position(multiple) * (n - start));
  };
  const struct {
    bool states;  // else instruments
    int count;    // Ns or noinstrm; every entry at 50 but the base
    float base;   // entry 2 of the states, 1 of the instruments
    const char *start, *step;
    std::vector<run> runs;  // the entry at the count is left alone
  } cases[] = {
      {true, 50, 20, "2", "1.1",
       {{1, 1, 50}, {2, 2, 20}, {3, 3, states_from(20, 1.1, 2, 3)},
        {49, 49, states_from(20, 1.1, 2, 49)}, {50, 50, 50}}},
      {false, 30, 20.5f, "1", "-30",
       {{0, 0, 50}, {1, 1, 20.5f}, {2, 2, 17.5f}, {8, 8, -0.5f}, {29, 29, -63.5f}, {30, 30, 50}}},
      // No positions so low that a saved set would not load back.
      {false, 25, 50, "0", "-2000", {{1, 24, -100}, {25, 25, 50}}},
      {true, 40, 50, "0", "0.001",
       {{1, 1, states_from(50, 0.001, 0, 1)}, {2, 39, -47}, {40, 40, 50}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.start) + " / " + c.step);
    auto& entries = c.states ? Current_State.states : Current_State.instrm;
    (c.states ? Current_State.Ns : Current_State.noinstrm) = c.count;
    std::fill_n(entries.begin(), 100, 50.0f);
    entries[c.states ? 2 : 1] = c.base;
    auto_set(c.states, c.start, c.step);
    expect_runs(entries, c.runs);
    expect_sliders_follow(c.states ? state_sliders : instrument_sliders, entries, c.count);
    EXPECT_FALSE(shown(c.states ? auto_set_freq_form : auto_set_amp_form));
  }
  // An octave is an octave.
  EXPECT_NEAR(position_hertz(states_from(20, 2, 0, 5) - 20.0f), 32.0, 32e-6);

  const parameters_type before = Current_State;
  for (const auto& [states, start, step, said] :
       {std::tuple(true, "40", "2", "Start at: a state's number, 0 to 39"),
        {true, "-1", "2", "Start at: a state's number, 0 to 39"},
        {true, "0", "0", "Multiple: the ratio of each state's frequency to the one before, "
                         "above 0 (2 is an octave)"},
        {false, "1", "five", "Increment: the amplitude added from one instrument to the next, "
                             "-2000 to 2000"},
        {false, "1", "99999999999", "Increment: the amplitude added from one instrument to the "
                                    "next, -2000 to 2000"}}) {
    EXPECT_EQ(stderr_of([&, states = states, start = start, step = step] {
                auto_set(states, start, step);
              }),
              std::string("Bad number\n") + said + "\n")
        << start << " / " << step;
    EXPECT_TRUE(shown(states ? auto_set_freq_form : auto_set_amp_form));
  }
  EXPECT_EQ(Current_State, before);
  for (const auto& [quit, dialog] : {std::pair(quit_frequencys, auto_set_freq_form),
                                     {quit_amplitudes, auto_set_amp_form}}) {
    press(quit);
    EXPECT_FALSE(shown(dialog));
  }
}

// Also: the user's resource file reaches slider 45 of each window by name.
TEST_F(slider_windows, the_last_slider_scrolls_into_sight_shows_its_value_and_sets_it) {
  ASSERT_TRUE(resources_named);
  EXPECT_EQ(find("states*state_holder*s45"), state_sliders[45]);
  for (const auto& [in_states, entry, pointed, multiple] :
       {std::tuple(true, 62.5f, "403.43", 7), {false, 33.7f, "337", 3}}) {
    auto& entries = in_states ? Current_State.states : Current_State.instrm;
    const slider_row& sliders = in_states ? state_sliders : instrument_sliders;
    const Widget shell = in_states ? states : instruments, last = sliders[99];
    const Widget value_shown = in_states ? frequency_disp : amplitude_disp;
    int resource = 0;
    XtVaGetValues(sliders[45], XmNscaleMultiple, &resource, nullptr);
    EXPECT_EQ(resource, multiple);

    (in_states ? Current_State.Ns : Current_State.noinstrm) = 100;
    entries[99] = entry;
    in_states ? set_all_frequencies() : set_all_amplitudes();
    press(in_states ? state_button : instrument_button);
    check_screenshot(shell, XtName(shell));  // 100 sliders: a scrolled row
    EXPECT_FALSE(in_sight(last));
    XmScrollVisible(XtParent(XtParent(XtParent(XtParent(last)))), last, 0, 0);
    pump();
    EXPECT_TRUE(in_sight(last));

    type_text(value_shown, "");
    XWarpPointer(display, None, XtWindow(last), 0, 0, 0, 0, 5, 60);
    EXPECT_TRUE(pump_until([&, pointed = pointed] { return text_in(value_shown) == pointed; }))
        << text_in(value_shown);
    move_scale(last, in_states ? 7000 : 70);
    EXPECT_EQ(entries[99], 70.0f);
    EXPECT_EQ(entries[98], 0.0f);
  }
}
