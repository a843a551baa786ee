#include <Xm/MessageB.h>

#include <set>

#include "ui_fixture.h"

namespace {

using dialogs_test = ui_fixture;

constexpr const char* small_set_text =
    "r1=0.500000\nr2=2.000000\nk=3.000000\nNs=3\nx=60\ny=70\ndur=0.050000\nnoinstrm=2\n"
    "s0=121.510418\ns1=317.348329\ns2=1339.430764\ni0=500.000000\ni1=250.000000\nend\n";

using test_support::example_file;

// Whether the error dialog shows `text`, a line for each "\n".
bool error_shows(const char* text) {
  XmString shown = nullptr;
  XtVaGetValues(error_dialog, XmNmessageString, &shown, nullptr);
  XmString expected = XmStringCreateLtoR(const_cast<char*>(text), XmFONTLIST_DEFAULT_TAG);
  const bool same = XmStringCompare(shown, expected);
  XmStringFree(shown);
  XmStringFree(expected);
  return same;
}

}  // namespace

// Also: failures are shown in the error dialog; while it is up, later ones
// are added below.
TEST_F(dialogs_test, load_parameters_refuses_a_bad_file_shows_a_good_one_and_failures_gather) {
  spit("refused.csp", "dur=-0.000000\nend\n");
  spit("small.csp", small_set_text);
  Current_State.iter = 123;  // no parameter file holds iter
  const parameters_type before = Current_State;
  cb_load_parameters(nullptr, nullptr, nullptr);
  constexpr const char* refused = "Parameter out of range: dur=-0.000000 (the grain duration, "
                                  "0.001 to 10 s)\nFormat error in parameter file refused.csp\n";
  EXPECT_EQ(choose(load_p_files, load_p_filename, "refused.csp"), refused);
  EXPECT_TRUE(shown(load_p_files));
  EXPECT_EQ(Current_State, before);

  EXPECT_EQ(choose(load_p_files, load_p_filename, "small.csp"), "");
  EXPECT_FALSE(shown(load_p_files));
  EXPECT_EQ(panel(), "50 200 300 60 70 | 0.0500 | 0 | 123");
  expect_sliders_follow(state_sliders, Current_State.states, 3);  // fewer sliders than before
  expect_sliders_follow(instrument_sliders, Current_State.instrm, 2);

  choose(load_p_files, load_p_filename, "none.csp");
  EXPECT_TRUE(error_shows((refused + std::string("Can't open file none.csp\nNo such file or directory")).c_str()));
  press(XmMessageBoxGetChild(error_dialog, XmDIALOG_OK_BUTTON));
  EXPECT_FALSE(shown(error_dialog));
  stderr_of([] { type_and_return(duration, "0"); });
  EXPECT_TRUE(shown(error_dialog));
  EXPECT_TRUE(error_shows("Bad number\nDuration: seconds, 0.001 to 9.99"));
}

// An event save that cannot open its file, a parameter save and a score
// that cannot be written: the old files stay, no temporary is left.
TEST_F(dialogs_test, saves_that_cannot_be_written_keep_the_old_file) {
  spit("full.csp", example_file);
  spit("full.sco", example_file);
  add_event_special();
  List_Size = 1;
  const std::string e = choose(save_e_files, save_e_filename, "none/e.cse");
  std::string p;
  test_support::on_a_full_disk(200, [&] {
    p = choose(save_p_files, save_p_filename, "full.csp") +
        choose(csound_output, csound_filename, "full.sco");
  });
  EXPECT_EQ(e + p, "Can't open file none/e.cse\nNo such file or directory\nCan't write file full.csp\n"
                   "File too large\nCan't write file full.sco\nFile too large\n");
  EXPECT_EQ(slurp("full.csp") + slurp("full.sco"), example_file + example_file);
  EXPECT_EQ(test_support::files_in("."), (strings{"full.csp", "full.sco"}));
}

// The file dialogs open from their menu entries and Cancel hides them
// (Load Event List's: editor_test).
TEST_F(dialogs_test, every_window_has_a_title_of_its_own_and_file_dialogs_cancel) {
  for (const auto& [entry, box] : {std::pair(Load_events, load_p_files),
                                   {save_parameters, save_p_files}, {save_event_list, save_e_files},
                                   {Panel_Menus.audio_file, save_s_files},
                                   {csound_button, csound_output}}) {
    press(entry);
    EXPECT_TRUE(shown(box));
    EXPECT_FALSE(XtIsManaged(XmFileSelectionBoxGetChild(box, XmDIALOG_HELP_BUTTON)))
        << "a Help button with no help";
    press(XmFileSelectionBoxGetChild(box, XmDIALOG_CANCEL_BUTTON));
    EXPECT_FALSE(shown(box));
  }
  std::set<std::string> titles;
  for (Widget shell : {Ctrl_pannel, states, instruments, event_shell, auto_set_freq_shell,
                       auto_set_amp_shell, load_p_files_shell, save_p_files_shell,
                       load_e_files_shell, save_e_files_shell, save_s_files_shell,
                       csound_output_shell, load_event_p_shell, load_p_interp_shell,
                       XtParent(error_dialog)}) {
    char* title = nullptr;
    XtVaGetValues(shell, XmNtitle, &title, nullptr);
    ASSERT_NE(title, nullptr) << XtName(shell);
    EXPECT_NE(XtName(shell), std::string(title));
    EXPECT_TRUE(titles.insert(title).second) << title;
  }
}
