#include "x_events.h"

namespace {

using editor_test = ui_fixture;

// A change event from `path`, or with a length an interpolation towards it.
void add_event(const std::string& path, const char* length = nullptr) {
  press(length ? interpolate_button : event_file_load);
  type_text(length ? interp_filename : load_event_p_filename, path);
  if (length) type_text(interp_length, length);
  press(length ? ok_of(load_p_interp) : load_event_p_ok);
}
void on_line(int line, Widget button) {
  XmListSelectPos(event_list_disp, line, False);
  press(button);
}
// What the editor prints when Return is pressed in the time field.
std::string type_time(const std::string& time) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  type_and_return(event_time, time);
  return testing::internal::GetCapturedStdout();
}
// The pending edit: its number, then the name and time fields.
std::string pending() {
  return std::to_string(Event_List_Edit_No) + " " + text_in(event_edit) + "|" +
         text_in(event_time);
}

}  // namespace

// Also: a re-timed or rebuilt interpolation line keeps the whole name, as
// every line does; a refused time is said; a delete cancels the pending
// edit.
TEST_F(editor_test, lines_are_added_retimed_into_place_deleted_and_loaded) {
  Current_State.iter = 321;  // no parameter file holds iter
  spit("turbulence.csp", "r1=0.5\nx=70\nend\n");
  spit("turbulence-storm.csp", "r1=0.5\nx=70\nend\n");
  add_event("turbulence.csp");
  EXPECT_FALSE(shown(load_event_p_files));
  parameters_type in_file = Current_State;
  in_file.r1 = 0.5f;
  in_file.x = 70;
  EXPECT_EQ(*Event_List->params, in_file);
  on_line(1, edit_event_button);
  EXPECT_EQ(pending(), "1 turbulence.csp|0");
  for (const char* refused : {"0", "2.5"}) {
    std::string out;
    EXPECT_EQ(stderr_of([&] { out = type_time(refused); }),
              "Bad number\nTime: a whole number of iterations, 1 to 2147483647\n");
    EXPECT_EQ(out, "") << refused;
  }
  EXPECT_EQ(type_time("40"), "Shving\n1\n");
  EXPECT_EQ(pending(), "-1 |");
  // A new event comes right after the last one: one iteration after a
  // change or reseed, where a glide ends.
  press(reseed_button);
  add_event("turbulence.csp", "100");
  EXPECT_FALSE(shown(load_p_interp));
  add_event("turbulence-storm.csp");
  EXPECT_EQ(list_lines(event_list_disp),
            (strings{"turbulence.csp       40", "Reseed               41",
                     "->turbulence.csp     42 100", "turbulence-storm.csp   142"}));
  on_line(4, delete_event_button);

  on_line(3, edit_event_button);
  EXPECT_EQ(type_time("30"), "Shving\n1\n");
  const strings retimed{"->turbulence.csp     30 100", "turbulence.csp       40",
                        "Reseed               41"};
  EXPECT_EQ(list_lines(event_list_disp), retimed);
  XmListDeleteAllItems(event_list_disp);
  display_list();
  EXPECT_EQ(list_lines(event_list_disp), retimed);

  on_line(2, edit_event_button);
  on_line(1, delete_event_button);
  EXPECT_EQ(list_lines(event_list_disp), (strings{retimed[1], retimed[2]}));
  EXPECT_EQ(pending(), "-1 |");
  EXPECT_EQ(type_time("35"), "");
  EXPECT_EQ(List_Size, 2);  // which one went: event_list_test
  press(event_button);
  check_screenshot(event_shell, "event_list_editor");

  // A loaded list replaces the lines and the pending edit; a failed load
  // keeps them, and says which file it refused (why: event_file_test).
  spit("three.cse", test_support::example_file);
  on_line(1, edit_event_button);
  cb_load_events(nullptr, nullptr, nullptr);
  EXPECT_EQ(choose(load_e_files, load_e_filename, "three.cse"), "");
  EXPECT_FALSE(shown(load_e_files));
  const strings three_lines{"calm                  0", "->wild              100 200",
                            "Reseed              200"};
  EXPECT_EQ(list_lines(event_list_disp), three_lines);
  EXPECT_EQ(std::to_string(List_Size) + " " + pending(), "3 -1 |");
  cb_load_events(nullptr, nullptr, nullptr);
  spit("broken.cse", "event\ntype=7\n");
  EXPECT_EQ(choose(load_e_files, load_e_filename, "broken.cse"),
            "bad type\nline 2: \"type=7\", where \"type=1\" to 3\nFormat error in event list\n"
            "Not loaded: broken.cse\n");
  EXPECT_TRUE(shown(load_e_files));
  EXPECT_EQ(list_lines(event_list_disp), three_lines);
  press(XmFileSelectionBoxGetChild(load_e_files, XmDIALOG_CANCEL_BUTTON));
  EXPECT_FALSE(shown(load_e_files));
}

// Every edit of the list is a step of Undo, named in the Edit menu, and
// Ctrl+Z in the editor takes back the editor's last one; presses of one
// arrow in a row are one step.
TEST_F(editor_test, list_edits_undo_step_by_step_and_arrow_presses_join) {
  spit("calm.csp", "r1=0.5\nend\n");
  std::vector<strings> seen{list_lines(event_list_disp)};
  const std::vector<std::pair<std::function<void()>, std::string>> edits{
      {[] { press(reseed_button); }, "Undo Add Reseed"},
      {[] { add_event("calm.csp", "10"); }, "Undo Add Glide to calm.csp"},
      {[] { on_line(1, edit_event_button), type_time("30"); }, "Undo Event Time"},
      {[] { on_line(1, delete_event_button); }, "Undo Delete Event"},
  };
  Widget undo = find("*edit_menu.undo_button");
  for (const auto& [edit, label] : edits) {
    edit();
    seen.push_back(list_lines(event_list_disp));
    EXPECT_EQ(label_text(undo), label);
  }
  for (int arrow = 0; arrow < 3; ++arrow) arm(dur_up);
  EXPECT_EQ(label_text(undo), "Undo Duration");
  EXPECT_TRUE(undo_change());
  EXPECT_EQ(Current_State.dur, 0.025f) << "three presses, one step";
  press(event_button);
  ASSERT_TRUE(pump_until([] { return XtIsRealized(event_shell) != 0; }));
  for (std::size_t n = seen.size() - 1; n > 0; --n) {
    press_ctrl_key(event_list_disp, XK_z);
    EXPECT_EQ(list_lines(event_list_disp), seen[n - 1]) << n;
    EXPECT_EQ(List_Size, static_cast<int>(seen[n - 1].size()));
  }
}
