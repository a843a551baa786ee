// The windows as a musician uses them: what is typed is taken, what is
// shown is current, pitches are exact and every edit can be undone.
#include <Xm/MessageB.h>


#include "engine/automaton/automaton.h"
#include "engine/mapping/scales.h"
#include "engine/render/iteration.h"
#include "engine/mapping/mapping.h"
#include "engine/engine.h"
#include "engine/view.h"
#include "ui/xm_text.h"
#include "ui/messages.h"
#include "x_events.h"

namespace {

using musician = ui_fixture;

// A score of the current set written through the Output menu's "Csound".
std::string render_through_the_menu() {
  cb_csound(nullptr, nullptr, nullptr);
  return choose(csound_output, csound_filename, "out.sco");
}

grid_type last_grid;  // the grid of the last iteration rendered

class last_grid_sink final : public iteration_sink {
  void on_iteration(const iteration& it) override { last_grid = it.grid(); }
};

}  // namespace

// "Stop at" and the duration typed without Return are what the render,
// and a save, take; a refused one is said with its field and range.
TEST_F(musician, values_typed_without_return_are_taken_by_a_render_and_a_save) {
  type_text(halt_at, "77");
  type_text(duration, "0.05");
  EXPECT_EQ(render_through_the_menu(), "");
  EXPECT_EQ(test_support::lines_of(slurp("out.sco")).size(), 2u + 77u * 25u);
  EXPECT_EQ(Current_State.dur, 0.05f);

  type_text(halt_at, "77.5");
  type_text(duration, "0.07");
  cb_save_params(nullptr, nullptr, nullptr);
  EXPECT_EQ(choose(save_p_files, save_p_filename, "set.csp"),
            "Bad number\nStop at: a whole number of iterations, 0 to 10000000\n");
  EXPECT_EQ(text_in(halt_at), "77");
  EXPECT_NE(slurp("set.csp").find("dur=0.070000\n"), std::string::npos);
}

// After a render too short for the throttled redraw, the Automaton window
// shows the grid of the last iteration, not an earlier one.
TEST_F(musician, the_automaton_window_shows_the_last_grid_after_a_render) {
  press(find("*automaton_button"));
  spirals(4, 60);
  last_grid_sink capture;
  {
    const sink_registration capturing(capture);
    EXPECT_EQ(render_through_the_menu(), "");
  }
  pump();
  EXPECT_EQ(automaton_picture().cells_drawn_otherwise(last_grid), 0);
  XtPopdown(automaton_shell);
}

// The windows follow a glide that the list's last event started.
TEST_F(musician, the_windows_follow_a_glide_after_the_last_event) {
  Current_State.r1 = 0.5f;  // r1 and its glide exact in binary
  parameters_type target = Current_State;
  target.r1 = 2.5f;
  target.states[0] = 70.0f;
  add_event_interp(target, "up", 0, 10);
  Current_State.iter = 8;
  static std::vector<std::string> seen;
  seen.clear();
  static const view_hooks watch{.show_iteration = [](int t) {
    if (t == 5)
      seen = {std::to_string(scale_value(r1)), std::to_string(scale_value(state_sliders[0]))};
  }};
  add_view(default_engine(), watch);
  EXPECT_EQ(render_through_the_menu(), "");
  remove_view(default_engine(), watch);
  EXPECT_EQ(seen, (strings{"150", "6000"}));  // half way
  clear_event_list();
}

// The field beside the sliders shows the entry it showed, as it is now.
TEST_F(musician, the_readouts_show_current_values_after_a_load) {
  move_scale(instrument_sliders[3], 70);
  EXPECT_EQ(text_in(amplitude_disp), "700");
  Current_State.noinstrm = 4;
  spit("all500.csp", "Ns=2\nnoinstrm=4\ns0=440\ns1=880\ni0=500\ni1=500\ni2=500\ni3=500\nend\n");
  cb_load_parameters(nullptr, nullptr, nullptr);
  EXPECT_EQ(choose(load_p_files, load_p_filename, "all500.csp"), "");
  EXPECT_EQ(text_in(amplitude_disp), "500");
}

// A typed frequency is stored exactly; locked, it moves every state by one
// ratio, so a fifth stays a fifth (a locked slider: slider_windows_test).
TEST_F(musician, typed_frequencies_are_exact_and_lock_keeps_the_intervals) {
  const auto hz = [](int s) { return position_hertz(Current_State.states[s]); };
  press(state_button);
  touch(state_sliders[1]);
  EXPECT_EQ(text_in(frequency_disp), "121.51");
  type_and_return(frequency_disp, "440");
  EXPECT_NEAR(hz(1), 440.0, 1e-3);
  EXPECT_EQ(state_frequencies(Current_State.states)[1], 440.0f) << "sounds as typed";
  EXPECT_EQ(text_in(frequency_disp), "440.00");
  touch(state_sliders[2]);
  type_and_return(frequency_disp, "660");
  move_scale(state_sliders[3], 4500);  // an arrow key's step: 1/100 position
  EXPECT_EQ(Current_State.states[3], 45.0f);
  int click = 0;  // a click in the trough: a semitone
  XtVaGetValues(state_sliders[3], XmNscaleMultiple, &click, nullptr);
  EXPECT_NEAR(position_hertz(click / 100.0), std::pow(2.0, 1.0 / 12), 2e-4);

  XmToggleButtonSetState(frequency_lock, True, True);
  move_scale(state_sliders[1], scale_value(state_sliders[1]) - 37);
  type_and_return(frequency_disp, "110");  // the state last touched, and the others with it
  EXPECT_NEAR(hz(1), 110.0, 1e-3);
  EXPECT_NEAR(hz(2), 165.0, 1e-3);

  for (const char* refused : {"0", "20000", "a4"})
    EXPECT_EQ(stderr_of([&] { type_and_return(frequency_disp, refused); }),
              "Bad number\nFrequency (Hz): from 0.011 to 14764.78\n") << refused;
  EXPECT_NEAR(hz(1), 110.0, 1e-3);
  press(quit_frequencys);
}

// Every edit made in the windows goes back with Undo (the menu entry or
// Ctrl+Z) and forward again with Redo (Ctrl+Shift+Z): sliders, Reset,
// scales, the reduction and loads.
TEST_F(musician, undo_and_redo_take_back_every_edit_and_bring_it_again) {
  Widget undo = find("*edit_menu.undo_button"), redo = find("*edit_menu.redo_button");
  ASSERT_TRUE(undo && redo);
  EXPECT_FALSE(XtIsSensitive(undo));
  std::vector<parameters_type> sets{Current_State};
  std::vector<int> modes{Mean_Mode};
  const auto edit = [&](auto act) {
    act();
    sets.push_back(Current_State);
    modes.push_back(Mean_Mode);
  };
  edit([] { move_scale(state_sliders[4], 6123); });
  edit([] { press(reset_frequencys); });
  edit([] { move_scale(r2, 250); });
  edit([] { press(find("widget1.widget2.widget3*widget18")); });  // Mode
  edit([] { type_and_return(halt_at, "99"); });
  spit("small.csp", "r1=0.5\nNs=3\ns0=100\ns1=200\ns2=300\nend\n");  // in the mean
  edit([] {
    cb_load_parameters(nullptr, nullptr, nullptr);
    choose(load_p_files, load_p_filename, "small.csp");
  });
  EXPECT_EQ(modes, (std::vector<int>{0, 0, 0, 0, 1, 1, 0}));
  for (std::size_t n = sets.size() - 1; n > 0; --n) {
    press(undo);
    EXPECT_EQ(Current_State, sets[n - 1]) << n;
    EXPECT_EQ(Mean_Mode, modes[n - 1]) << n;
  }
  EXPECT_EQ(scale_value(state_sliders[4]), 5000);
  EXPECT_FALSE(XtIsSensitive(undo));
  press(redo);
  EXPECT_EQ(scale_value(state_sliders[4]), 6123);

  // The keys, in the States window as in the control panel.
  press(state_button);
  ASSERT_TRUE(pump_until([] { return XtIsRealized(states) != 0; }));
  for (const auto& [in, shift, entry] :
       {std::tuple(state_sliders[4], 0u, 5000), {state_sliders[4], ShiftMask, 6123},
        {r1, 0u, 5000}, {r1, ShiftMask, 6123}}) {
    press_ctrl_key(in, XK_z, shift);
    pump();
    EXPECT_EQ(scale_value(state_sliders[4]), entry) << XtName(in) << " " << shift;
  }
  press(quit_frequencys);
}

// A loaded set's reduction is what the Reduce menu shows (the file's line:
// param_file_test; the examples': sound_test); event lists never carry it.
TEST_F(musician, loads_show_the_files_reduction_and_event_lists_leave_it_out) {
  for (const int mode : {0, 1}) {
    Mean_Mode = mode;
    choose(save_p_files, save_p_filename, "set.csp");
    Mean_Mode = 1 - mode;
    EXPECT_EQ(choose(load_p_files, load_p_filename, "set.csp"), "");
    Widget shown_choice = nullptr;
    XtVaGetValues(find("*widget13"), XmNmenuHistory, &shown_choice, nullptr);
    EXPECT_STREQ(XtName(shown_choice), mode ? "widget18" : "widget17");
  }
  add_event_params(Current_State, "mode set");
  choose(save_e_files, save_e_filename, "list.cse");
  EXPECT_EQ(slurp("list.cse").find("reduce="), std::string::npos);
  clear_event_list();
}

namespace {

struct rectangle {
  int left, top, width, height;
  bool overlaps(const rectangle& o) const {
    return left < o.left + o.width && o.left < left + width && top < o.top + o.height &&
           o.top < top + height;
  }
};

// Where a window is on the screen, once it is.
rectangle on_screen(Widget w) {
  while (!XtIsShell(w)) w = XtParent(w);
  EXPECT_TRUE(pump_until([&] { return XtIsRealized(w) != 0; })) << XtName(w);
  XWindowAttributes a{};
  XGetWindowAttributes(display, XtWindow(w), &a);
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(display, XtWindow(w), DefaultRootWindow(display), 0, 0, &x, &y, &child);
  return {x, y, a.width, a.height};
}

}  // namespace

// Windows and dialogs open beside what they belong to, not over it; an
// Auto-set refusal is said beside its dialog; a file dialog lists the
// files of its directory as they are when it opens.
TEST_F(musician, dialogs_open_beside_their_windows_and_list_files_made_since) {
  const rectangle panel = on_screen(Ctrl_pannel);
  press(state_button);
  const rectangle states_window = on_screen(states);
  EXPECT_FALSE(states_window.overlaps(panel));
  press(find("states.state_form.widget51.widget56"));  // Auto-set
  const rectangle auto_set = on_screen(auto_set_freq_shell);
  EXPECT_FALSE(auto_set.overlaps(states_window));
  EXPECT_EQ(label_text(XtNameToWidget(auto_set_freq_form, "auto_set_hint")),
            "Start at: a state, 0 to 39Multiple: 2 = octaves, 1.5 = fifths");  // two lines
  check_screenshot(auto_set_freq_shell, "auto_set_states");
  type_text(freq_auto_start, "99");
  stderr_of([] { press(XtNameToWidget(auto_set_freq_form, "widget6")); });
  EXPECT_FALSE(on_screen(error_dialog).overlaps(auto_set));
  press(XmMessageBoxGetChild(error_dialog, XmDIALOG_OK_BUTTON));

  press(event_button);
  press(interpolate_button);
  EXPECT_FALSE(on_screen(load_p_interp).overlaps(on_screen(event_form)));

  const compound_string here = make_compound_string(std::filesystem::current_path().string());
  XtVaSetValues(load_p_files, XmNdirectory, here.get(), nullptr);
  spit("made-since.csp", "r1=1\nend\n");
  cb_load_parameters(nullptr, nullptr, nullptr);
  EXPECT_FALSE(on_screen(load_p_files).overlaps(panel));
  const strings listed = list_lines(XmFileSelectionBoxGetChild(load_p_files, XmDIALOG_LIST));
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_NE(listed[0].find("made-since.csp"), std::string::npos);
  // Opened one after another, windows take places of their own.
  press(quit_frequencys);
  press(XmFileSelectionBoxGetChild(load_p_interp, XmDIALOG_CANCEL_BUTTON));
  press(instrument_button);
  const std::vector<Widget> open{Ctrl_pannel, event_form, load_p_files, instruments};
  for (std::size_t i = 0; i < open.size(); ++i)
    for (std::size_t j = i + 1; j < open.size(); ++j)
      EXPECT_FALSE(on_screen(open[i]).overlaps(on_screen(open[j])))
          << XtName(open[i]) << " " << XtName(open[j]);
}

// Iterations live play computed late are news in the control panel (and a
// line on the terminal), not an error dialog after every Stop.
TEST_F(musician, late_iterations_are_a_notice_in_the_control_panel) {
  Widget notice = find("*notice");
  ASSERT_NE(notice, nullptr);
  const auto notice_text = [&] { return label_text(notice); };
  EXPECT_EQ(stderr_of([] { report_late_iterations(3); }),
            "3 iterations were computed too late to be heard in time\n");
  EXPECT_EQ(notice_text(), "3 late iterations");
  EXPECT_FALSE(shown(error_dialog));
  check_screenshot(Ctrl_pannel, "control_panel_notice");
  report_late_iterations(0);
  EXPECT_EQ(notice_text(), " ");
}

// Few sliders share the row's width, none too narrow to take; a wider
// window widens them, not the side panel.
TEST_F(musician, few_sliders_fill_the_row_and_grow_with_the_window) {
  Current_State.Ns = 9;
  set_all_frequencies();
  press(state_button);
  const auto width_of = [](Widget w) {
    Dimension width = 0;
    XtVaGetValues(w, XmNwidth, &width, nullptr);
    return int(width);
  };
  const auto slot_of = [](int i) { return XtParent(state_sliders[i]); };
  Widget side = find("states.state_form.widget51");
  check_screenshot(states, "states_nine");
  ASSERT_TRUE(pump_until([&] { return width_of(slot_of(0)) > 40; })) << width_of(slot_of(0));
  EXPECT_EQ(width_of(state_sliders[0]), 30);  // a comfortable trough, centred in its slot
  const int slot = width_of(slot_of(0)), panel = width_of(side);
  Widget clip = XtParent(XtParent(XtParent(state_sliders[0])));
  EXPECT_GE(9 * (slot + 3), width_of(clip) - 12);  // the row is filled

  XtVaSetValues(states, XmNwidth, width_of(states) + 270, nullptr);
  EXPECT_TRUE(pump_until([&] { return width_of(slot_of(0)) >= slot + 25; }))
      << width_of(slot_of(0));
  EXPECT_EQ(width_of(side), panel);
  press(quit_frequencys);
}
