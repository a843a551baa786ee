// The Event List Editor: the lines it shows, the events they stand for,
// and that both stay in step through adding, re-timing and deleting.
#include <X11/Xatom.h>

#include "files/event_file.h"
#include "ui_fixture.h"

namespace {

using strings = std::vector<std::string>;

class editor_test : public ui_fixture {
 protected:
  // A change event from `path`, or with a length an interpolation towards it.
  static void add_event(const std::string& path, const char* length = nullptr) {
    press(length ? interpolate_button : event_file_load);
    type_text(length ? interp_filename : load_event_p_filename, path);
    if (length) type_text(interp_length, length);
    press(length ? ok_of(load_p_interp) : load_event_p_ok);
  }
  // Selects a line and presses Edit or Delete.
  static void on_line(int line, Widget button) {
    XmListSelectPos(event_list_disp, line, False);
    press(button);
  }
  // What the editor prints when Return is pressed in the time field.
  static std::string type_time(const std::string& time) {
    return capture([&] { type_and_return(event_time, time); }).out;
  }
  static std::string retime(int line, const std::string& time) {
    on_line(line, edit_event_button);
    return type_time(time);
  }
  // The events as "name@time" in list order, then List_Size.
  static std::string events() {
    std::string result;
    for (const event_type* e = Event_List.get(); e; e = e->next.get())
      result += e->name + "@" + std::to_string(e->time_stamp) + " ";
    return result + "(" + std::to_string(List_Size) + ")";
  }
  // The pending edit: its number, then the name and time fields.
  static std::string pending() {
    return std::to_string(Event_List_Edit_No) + " " + text_in(event_edit) + "|" +
           text_in(event_time);
  }
  // Three change events a, b, c, all at time 0.
  static void three_events() {
    for (const char* name : {"a.csp", "b.csp", "c.csp"}) {
      spit(name, parameters_text(Current_State));
      add_event(name);
    }
  }
};

}  // namespace

TEST_F(editor_test, ChangeEventTakesTheFileNameAndACopyOfTheCurrentSet) {
  parameters_type in_file = Current_State;
  in_file.r1 = 0.5f;
  in_file.x = 70;
  spit("default.csp", parameters_text(in_file));
  Current_State.iter = 321;  // no parameter file holds iter
  press(event_file_load);
  EXPECT_TRUE(shown(load_event_p_files));
  add_event("default.csp");
  EXPECT_FALSE(shown(load_event_p_files));
  EXPECT_EQ(list_lines(event_list_disp), strings{"default.csp           0"});
  EXPECT_EQ(events(), "default.csp@0 (1)");
  EXPECT_EQ(Event_List->type, event_change);
  in_file.iter = 321;
  EXPECT_EQ(*Event_List->params, in_file);
}

TEST_F(editor_test, NamesAreBaseNamesCutTo15OnTheLineButStoredWhole) {
  const std::string deep = std::string(120, 'd') + "/" + std::string(150, 'n') + ".csp";
  std::filesystem::create_directories("one/two");
  std::filesystem::create_directories(std::string(120, 'd'));
  for (const std::string& path : {std::string("one/two/a_rather_long_name.csp"),
                                  std::filesystem::absolute("plain.csp").string(), deep}) {
    spit(path, parameters_text(Current_State));
    add_event(path);
  }
  EXPECT_EQ(list_lines(event_list_disp),
            (strings{"a_rather_long_n       0", "plain.csp             0",
                     std::string(15, 'n') + "       0"}));
  EXPECT_EQ(events(), "a_rather_long_name.csp@0 plain.csp@0 " + std::string(99, 'n') + "@0 (3)");
  const std::pair<std::string, std::string> base_names[] = {
      {"default.csp", "default.csp"}, {"presets/calm/default.csp", "default.csp"},
      {"/default.csp", "default.csp"}, {"presets/", ""}, {"", ""},
      {std::string(300, 'p') + "/" + std::string(200, 'q'), std::string(200, 'q')},
  };
  for (const auto& [path, base] : base_names) EXPECT_EQ(namefind(path), base) << path;
}

TEST_F(editor_test, ReseedTakesTheTimeOfTheLastEvent) {
  press(reseed_button);
  spit("default.csp", parameters_text(Current_State));
  add_event("default.csp");
  EXPECT_EQ(retime(2, "40"), "Shving\n2");
  press(reseed_button);
  EXPECT_EQ(list_lines(event_list_disp),
            (strings{"Reseed                0", "default.csp          40",
                     "Reseed               40"}));
  EXPECT_EQ(events(), "Reseed@0 default.csp@40 Reseed@40 (3)");
}

TEST_F(editor_test, InterpolationLineShowsTimeAndLength) {
  spit("default.csp", parameters_text(Current_State));
  add_event("default.csp");
  retime(1, "40");
  for (const char* length : {"100", "0", "-5"}) add_event("default.csp", length);
  EXPECT_FALSE(shown(load_p_interp));
  EXPECT_EQ(list_lines(event_list_disp),
            (strings{"default.csp          40", "->default.csp        40 100",
                     "->default.csp        40   0", "->default.csp        40  -5"}));
  EXPECT_EQ(events(), "default.csp@40 ->default.csp@40 ->default.csp@40 ->default.csp@40 (4)");
  EXPECT_EQ(event_number(2)->type, event_interp);
  EXPECT_EQ(event_number(2)->end_time, 140);
  EXPECT_EQ(event_number(4)->end_time, 35);
  // Re-timed, the stored name already holds the arrow; the length stays.
  EXPECT_EQ(retime(2, "60"), "Shving\n4");
  EXPECT_EQ(list_lines(event_list_disp)[3], "->default.csp        60 100");
  EXPECT_EQ(event_number(4)->end_time, 160);
}

TEST_F(editor_test, UnreadableFilesOrLengthsAddNothingAndKeepTheDialogUp) {
  std::filesystem::create_directory("folder.csp");
  spit("bad.csp", "Ns=500\nend\n");
  spit("good.csp", parameters_text(Current_State));
  const std::string refused = "Parameter out of range: Ns=500\nFormat error in parameter file\n";
  const struct {
    const char *file, *length, *error;  // no length: a change event
  } cases[] = {
      {"missing.csp", nullptr, "Can't open file missing.csp"},
      {"folder.csp", nullptr, "Can't open file folder.csp"},
      {"bad.csp", nullptr, refused.c_str()},
      {"bad.csp", "100", refused.c_str()},
      {"good.csp", "", "Bad length\n"},
      {"good.csp", "abc", "Bad length\n"},
      {"good.csp", " ", "Bad length\n"},
      {"good.csp", "99999999999", "Bad length\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " / " + (c.length ? c.length : "change"));
    const captured_output o = capture([&] { add_event(c.file, c.length); });
    EXPECT_EQ(o.err, c.error);
    EXPECT_TRUE(shown(c.length ? load_p_interp : load_event_p_files));
  }
  EXPECT_EQ(list_lines(event_list_disp), strings{});
  EXPECT_EQ(events(), "(0)");
  press(load_event_p_cancel);
  press(cancel_of(load_p_interp));
  EXPECT_FALSE(shown(load_event_p_files));
  EXPECT_FALSE(shown(load_p_interp));
  EXPECT_EQ(text_in(load_event_p_filename), "bad.csp");
  EXPECT_EQ(text_in(interp_length), "99999999999");
}

TEST_F(editor_test, EditMovesTheLineToItsPlaceInTime) {
  three_events();
  on_line(2, edit_event_button);
  EXPECT_EQ(pending(), "2 b.csp|0");
  EXPECT_EQ(type_time("25"), "Shving\n3");
  EXPECT_EQ(pending(), "-1 |");
  EXPECT_EQ(retime(2, "40"), "Shving\n3");
  EXPECT_EQ(retime(1, "25"), "Shving\n2");  // after the event already at 25
  EXPECT_EQ(list_lines(event_list_disp),
            (strings{"b.csp                25", "a.csp                25",
                     "c.csp                40"}));
  EXPECT_EQ(events(), "b.csp@25 a.csp@25 c.csp@40 (3)");
  int* positions = nullptr;
  int count = 0;
  EXPECT_FALSE(XmListGetSelectedPos(event_list_disp, &positions, &count));  // none left
}

TEST_F(editor_test, TimesBelowOneOrNoNumberLeaveTheEditPending) {
  three_events();
  on_line(3, edit_event_button);
  for (const char* time : {"0", "-7", "abc", ""}) {
    EXPECT_EQ(type_time(time), "") << time;
    EXPECT_EQ(pending(), "3 c.csp|" + std::string(time));
  }
  EXPECT_EQ(events(), "a.csp@0 b.csp@0 c.csp@0 (3)");
  // Hiding the editor keeps the edit; a good time then finishes it.
  press(event_editor_cancel);
  EXPECT_EQ(type_time("7 frames"), "Shving\n3");
  EXPECT_EQ(list_lines(event_list_disp)[2], "c.csp                 7");
}

TEST_F(editor_test, DeleteRemovesLineAndEventCancelsAnEditAndKeepsTheEditorUp) {
  three_events();
  press(event_button);
  XmListDeselectAllItems(event_list_disp);
  press(edit_event_button);  // nothing selected: nothing to edit or delete
  press(delete_event_button);
  EXPECT_EQ(pending(), "-1 |");
  EXPECT_EQ(type_time("30"), "");
  EXPECT_EQ(events(), "a.csp@0 b.csp@0 c.csp@0 (3)");
  on_line(3, edit_event_button);
  on_line(1, delete_event_button);
  const strings b_and_c{"b.csp                 0", "c.csp                 0"};
  EXPECT_EQ(list_lines(event_list_disp), b_and_c);
  EXPECT_EQ(events(), "b.csp@0 c.csp@0 (2)");
  EXPECT_EQ(pending(), "-1 |");
  EXPECT_EQ(type_time("30"), "");  // the old position 3 lies beyond the list
  EXPECT_EQ(events(), "b.csp@0 c.csp@0 (2)");
  EXPECT_TRUE(shown(event_form));  // the buttons keep the editor up
  on_line(2, delete_event_button);
  on_line(1, delete_event_button);
  EXPECT_EQ(list_lines(event_list_disp), strings{});
  EXPECT_EQ(events(), "(0)");
  press(event_editor_cancel);
  EXPECT_FALSE(shown(event_form));
}

TEST_F(editor_test, ListFontIsTheFixedWidthCourierSoColumnsAlign) {
  XmFontList fonts = nullptr;
  XtVaGetValues(event_list_disp, XmNfontList, &fonts, nullptr);
  XmFontContext context = nullptr;
  ASSERT_TRUE(XmFontListInitFontContext(&context, fonts));
  XmStringCharSet charset = nullptr;
  XFontStruct* font = nullptr;
  ASSERT_TRUE(XmFontListGetNextFont(context, &charset, &font));
  XtFree(charset);
  XmFontListFreeFontContext(context);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->min_bounds.width, font->max_bounds.width);
  unsigned long name_atom = 0;
  ASSERT_TRUE(XGetFontProperty(font, XA_FONT, &name_atom));
  char* name = XGetAtomName(display, name_atom);
  EXPECT_STREQ(name, "-Adobe-Courier-Bold-R-Normal--12-120-75-75-M-70-ISO8859-1");
  XFree(name);
}
