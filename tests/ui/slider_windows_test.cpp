#include <Xm/ScrolledW.h>

#include "ui/widgets.h"
#include "x_events.h"
#include "engine/engine.h"
#include "engine/mapping/mapping.h"
#include "engine/mapping/scales.h"
#include "engine/mapping/tuning.h"

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

// Opens an Auto-set dialog from its window, types both fields and presses
// Return, which presses OK.
void auto_set(bool states, const std::string& start, const std::string& step) {
  press(find(states ? "states.state_form.widget51.widget56"
                    : "instruments.instrument_form.widget36.widget41"));
  type_text(states ? freq_auto_start : amp_auto_start, start);
  type_and_return(states ? freq_auto_mul : amp_auto_inc, step);
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
  move_scale(instrument_sliders[0], 96);  // 95.5 shows as the nearest, 96
  EXPECT_EQ(Current_State, before);

  for (const int to : {3537, 9000}) {  // down 5 positions; up, cut short at the top
    before = Current_State;
    const std::string said = stderr_of([&, to = to] { move_scale(state_sliders[1], to); });
    EXPECT_EQ(said.rfind(to == 9000 ? "Lock: state 1 stopped at 74.26 Hz, not 5653.33 Hz" : "", 0),
              0u) << said;
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
    const char* said;       // where entries stopped at the end of their range
  } cases[] = {
      {true, 50, 20, "2", "1.1",
       {{1, 1, 50}, {2, 2, 20}, {3, 3, states_from(20, 1.1, 2, 3)},
        {49, 49, states_from(20, 1.1, 2, 49)}, {50, 50, 50}}, ""},
      {false, 30, 20.5f, "1", "-30",
       {{0, 0, 50}, {1, 1, 20.5f}, {2, 2, 17.5f}, {8, 8, -0.5f}, {29, 29, -63.5f}, {30, 30, 50}},
       ""},
      // No positions so low that a saved set would not load back.
      {false, 25, 50, "0", "-2000", {{1, 24, -100}, {25, 25, 50}},
       "Auto-set: instruments 1 to 24 stop at -1000, the end of their range\n"},
      {true, 40, 50, "0", "0.001",
       {{1, 1, states_from(50, 0.001, 0, 1)}, {2, 39, -47}, {40, 40, 50}},
       "Auto-set: states 2 to 39 stop at 0.01 Hz, the end of their range\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.start) + " / " + c.step);
    auto& entries = c.states ? Current_State.states : Current_State.instrm;
    (c.states ? Current_State.Ns : Current_State.noinstrm) = c.count;
    std::fill_n(entries.begin(), 100, 50.0f);
    entries[c.states ? 2 : 1] = c.base;
    EXPECT_EQ(stderr_of([&] { auto_set(c.states, c.start, c.step); }), c.said);
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
    touch(last);
    EXPECT_EQ(text_in(value_shown), pointed);
    move_scale(last, in_states ? 7000 : 70);
    EXPECT_EQ(entries[99], 70.0f);
    EXPECT_EQ(entries[98], 0.0f);
  }
}

// A scale loaded from the States window tunes the states by value; a
// refused one keeps the dialog up and the states as they were. The label
// under the field names the note: in 12-tone equal temperament at first,
// then in the scale's degrees. Quantize sits beside Mean/Mode.
TEST_F(slider_windows, load_scale_tunes_the_states_and_the_label_names_their_notes) {
  test_support::spit("fifths.scl", "fifths\n2\n3/2\n2/1\n");
  test_support::spit("bad.scl", "d\n2\n3/0\n2/1\n");
  const Widget note = find("states*note_name");
  move_scale(state_sliders[0], 6000);  // 317.35 Hz
  EXPECT_EQ(label_text(note), "D#4 +34.3 cents");
  press(find("states*widget51.load_scale"));
  const Widget box = find("states*load_scale_files");
  const Widget field = XmFileSelectionBoxGetChild(box, XmDIALOG_TEXT);
  EXPECT_NE(choose(box, field, "bad.scl").find("bad.scl:3: a ratio with 0"), std::string::npos);
  EXPECT_TRUE(shown(box));
  EXPECT_EQ(Current_State.states[1], 50.0f);
  choose(box, field, "fifths.scl");
  EXPECT_FALSE(shown(box));
  EXPECT_EQ(state_frequencies(Current_State.states)[1], static_cast<float>(261.625565 * 1.5));
  move_scale(state_sliders[0], 6000);
  EXPECT_EQ(label_text(note), "degree 0 +334.3 cents");

  XmToggleButtonSetState(find("*quantize"), True, True);
  EXPECT_TRUE(tuning_of(default_engine()).quantize);
}

namespace {

// Button 1 pressed on the slider's trough, the pointer moved up by `pixels`
// and let go, with `held` (Shift, Ctrl or none).
void drag(Widget scale, int pixels, unsigned held) {
  Widget bar = scroll_bar_of(scale);
  for (const auto& [type, y] : {std::pair(ButtonPress, 60), {MotionNotify, 60 - pixels},
                                {ButtonRelease, 60 - pixels}}) {
    XEvent e = button1_event(type, XtWindow(bar), 5, y, held);
    XtDispatchEvent(&e);
  }
}

}  // namespace

// The field beside the row stays with the slider last touched, whatever
// the pointer crosses, and says which; Return stores what is typed there
// (an amplitude too). Shift and Ctrl drag ten times finer.
TEST_F(slider_windows, the_field_keeps_to_the_slider_touched_and_fine_drags_are_finer) {
  press(state_button);
  press(instrument_button);
  ASSERT_TRUE(pump_until([] { return XtIsRealized(states) && XtIsRealized(instruments); }));
  touch(state_sliders[2]);
  XWarpPointer(display, None, XtWindow(state_sliders[39]), 0, 0, 0, 0, 5, 60);
  pump();
  EXPECT_EQ(label_text(find("states*entry_label")), "State 2");
  type_and_return(frequency_disp, "440");
  EXPECT_NEAR(position_hertz(Current_State.states[2]), 440.0, 1e-3);
  EXPECT_EQ(Current_State.states[39], 50.0f);

  touch(instrument_sliders[3]);
  EXPECT_EQ(label_text(find("instruments*entry_label")), "Instrument 3");
  type_and_return(amplitude_disp, "700");
  EXPECT_EQ(Current_State.instrm[3], 70.0f);
  EXPECT_EQ(stderr_of([] { type_and_return(amplitude_disp, "5000"); }),
            "Bad number\nAmplitude: a score amplitude, -1000 to 1000\n");
  EXPECT_EQ(text_in(amplitude_disp), "700");

  // A plain drag moves a scale's whole span over its trough's length.
  for (const auto& [scale, field] : {std::pair(state_sliders[5], &Current_State.states[5]),
                                     {r1, &Current_State.r1}}) {
    int from = 0, minimum = 0, maximum = 0;
    Dimension length = 0;
    XtVaGetValues(scale, XmNvalue, &from, XmNminimum, &minimum, XmNmaximum, &maximum, nullptr);
    XtVaGetValues(scroll_bar_of(scale), XmNheight, &length, nullptr);
    drag(scale, 40, ShiftMask);
    const double fine = scale_value(scale) - from, plain = 40.0 * (maximum - minimum) / length;
    EXPECT_NEAR(fine, plain / 10, plain / 30) << XtName(scale);
    EXPECT_FLOAT_EQ(*field, scale_value(scale) / 100.0f) << "stored as a drag is";
  }
  press(quit_frequencys);
  press(quit_amplitudes);
}
