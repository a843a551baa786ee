// The Event List Editor on a real X server: the lines it shows, the events
// they stand for, and that both stay in step through adding, re-timing and
// deleting.
#include <Xm/FileSB.h>
#include <Xm/List.h>
#include <X11/Xatom.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "files/event_file.h"
#include "files/param_file.h"
#include "output_capture.h"
#include "ui_fixture.h"

using namespace ui_test;

namespace {

using output = captured_output;

class editor_test : public ui_fixture {
 protected:
  // A parameter file in the scratch directory holding the given set.
  static std::string parameter_file(const std::string& path, const parameters_type& p) {
    std::FILE* fp = std::fopen(path.c_str(), "w");
    write_parameters(fp, p);
    std::fclose(fp);
    return path;
  }

  static std::string default_file() { return parameter_file("default.csp", Current_State); }

  static void add_change(const std::string& path) {
    press(event_file_load);
    type_text(load_event_p_filename, path);
    press(load_event_p_ok);
  }

  static void add_interpolation(const std::string& path, const std::string& length) {
    press(interpolate_button);
    type_text(interp_filename, path);
    type_text(interp_length, length);
    press(XmFileSelectionBoxGetChild(load_p_interp, XmDIALOG_OK_BUTTON));
  }

  static void select_line(int n) { XmListSelectPos(event_list_disp, n, False); }

  static void start_edit(int line) {
    select_line(line);
    press(edit_event_button);
  }

  // Edits line `line` to `time`; returns what the editor printed.
  static std::string retime(int line, const std::string& time) {
    start_edit(line);
    return capture([&] { type_and_return(event_time, time); }).out;
  }

  static std::vector<std::string> lines() {
    std::vector<std::string> result;
    for (int n = 1; n <= list_count(event_list_disp); ++n)
      result.push_back(list_line(event_list_disp, n));
    return result;
  }

  // The events as "name@time", in list order.
  static std::vector<std::string> events() {
    std::vector<std::string> result;
    for (const event_type* e = Event_List.get(); e; e = e->next.get())
      result.push_back(e->name + "@" + std::to_string(e->time_stamp));
    return result;
  }

  // Three change events a, b, c, all at time 0.
  void three_events() {
    for (const char* name : {"a.csp", "b.csp", "c.csp"})
      add_change(parameter_file(name, Current_State));
  }
};

TEST_F(editor_test, ChangeEventTakesTheFileNameAndACopyOfTheCurrentSet) {
  parameters_type in_file = Current_State;
  in_file.r1 = 0.5f;
  in_file.x = 70;
  parameter_file("default.csp", in_file);
  Current_State.iter = 321;  // no parameter file holds iter

  press(event_file_load);
  EXPECT_TRUE(shown(load_event_p_files));
  type_text(load_event_p_filename, "default.csp");
  press(load_event_p_ok);

  EXPECT_FALSE(shown(load_event_p_files));
  const std::string line = "default.csp" + std::string(11, ' ') + "0";
  EXPECT_EQ(line.size(), 23u);
  EXPECT_EQ(lines(), std::vector<std::string>{line});
  EXPECT_EQ(List_Size, 1);
  ASSERT_NE(Event_List, nullptr);
  EXPECT_EQ(Event_List->type, event_change);
  EXPECT_EQ(Event_List->name, "default.csp");
  parameters_type expected = in_file;
  expected.iter = 321;
  EXPECT_EQ(*Event_List->params, expected);
}

TEST_F(editor_test, NamesAreBaseNamesCutTo15OnTheLineButStoredWhole) {
  std::filesystem::create_directories("one/two");
  add_change(parameter_file("one/two/a_rather_long_name.csp", Current_State));
  add_change(parameter_file(std::filesystem::absolute("plain.csp").string(), Current_State));
  // Longer than any fixed buffer of old: a deep path and a long base name.
  const std::string deep = std::string(120, 'd');
  std::filesystem::create_directories(deep);
  const std::string long_name = std::string(150, 'n') + ".csp";
  add_change(parameter_file(deep + "/" + long_name, Current_State));

  EXPECT_EQ(lines(), (std::vector<std::string>{"a_rather_long_n       0", "plain.csp             0",
                                               std::string(15, 'n') + "       0"}));
  EXPECT_EQ(event_number(1)->name, "a_rather_long_name.csp");
  EXPECT_EQ(event_number(2)->name, "plain.csp");
  EXPECT_EQ(event_number(3)->name, std::string(99, 'n'));
  EXPECT_EQ(List_Size, 3);
}

TEST_F(editor_test, NamefindTakesTheTextAfterTheLastSlash) {
  EXPECT_EQ(namefind("default.csp"), "default.csp");
  EXPECT_EQ(namefind("presets/calm/default.csp"), "default.csp");
  EXPECT_EQ(namefind("/default.csp"), "default.csp");
  EXPECT_EQ(namefind("presets/"), "");
  EXPECT_EQ(namefind(""), "");
  EXPECT_EQ(namefind(std::string(300, 'p') + "/" + std::string(200, 'q')), std::string(200, 'q'));
}

TEST_F(editor_test, ReseedTakesTheTimeOfTheLastEvent) {
  press(reseed_button);
  EXPECT_EQ(lines(), std::vector<std::string>{"Reseed                0"});

  add_change(default_file());
  EXPECT_EQ(retime(2, "40"), "Shving\n2");
  press(reseed_button);

  EXPECT_EQ(lines(), (std::vector<std::string>{"Reseed                0", "default.csp          40",
                                               "Reseed               40"}));
  EXPECT_EQ(events(), (std::vector<std::string>{"Reseed@0", "default.csp@40", "Reseed@40"}));
  EXPECT_EQ(List_Size, 3);
}

TEST_F(editor_test, InterpolationLineShowsTimeAndLength) {
  add_change(default_file());
  retime(1, "40");
  press(interpolate_button);
  EXPECT_TRUE(shown(load_p_interp));
  add_interpolation("default.csp", "100");
  add_interpolation("default.csp", "0");
  add_interpolation("default.csp", "-5");

  EXPECT_FALSE(shown(load_p_interp));
  EXPECT_EQ(lines(), (std::vector<std::string>{"default.csp          40", "->default.csp        40 100",
                                               "->default.csp        40   0",
                                               "->default.csp        40  -5"}));
  const event_type* e = event_number(2);
  EXPECT_EQ(e->type, event_interp);
  EXPECT_EQ(e->name, "->default.csp");
  EXPECT_EQ(e->time_stamp, 40);
  EXPECT_EQ(e->end_time, 140);
  EXPECT_EQ(event_number(4)->end_time, 35);
  EXPECT_EQ(List_Size, 4);

  // Re-timed, the stored name already holds the arrow; the length stays.
  EXPECT_EQ(retime(2, "60"), "Shving\n4");
  EXPECT_EQ(list_line(event_list_disp, 4), "->default.csp        60 100");
  EXPECT_EQ(event_number(4)->end_time, 160);
}

TEST_F(editor_test, InterpolationWithoutALengthIsRefused) {
  default_file();
  for (const char* length : {"", "abc", " ", "99999999999"}) {
    const output o = capture([&] { add_interpolation("default.csp", length); });
    EXPECT_EQ(o.err, "Bad length\n") << '"' << length << '"';
    EXPECT_TRUE(shown(load_p_interp));
  }
  EXPECT_EQ(list_count(event_list_disp), 0);
  EXPECT_EQ(Event_List, nullptr);
  EXPECT_EQ(List_Size, 0);

  press(XmFileSelectionBoxGetChild(load_p_interp, XmDIALOG_CANCEL_BUTTON));
  EXPECT_FALSE(shown(load_p_interp));
  EXPECT_EQ(text_in(interp_length), "99999999999");
}

TEST_F(editor_test, UnreadableParameterFilesAddNothingAndKeepTheDialogUp) {
  std::filesystem::create_directory("folder.csp");
  write_file("bad.csp", "Ns=500\nend\n");
  press(event_file_load);

  output o = capture([] {
    type_text(load_event_p_filename, "missing.csp");
    press(load_event_p_ok);
  });
  EXPECT_EQ(o.err, "Can't open file missing.csp");
  o = capture([] {
    type_text(load_event_p_filename, "folder.csp");
    press(load_event_p_ok);
  });
  EXPECT_EQ(o.err, "Can't open file folder.csp");
  o = capture([] {
    type_text(load_event_p_filename, "bad.csp");
    press(load_event_p_ok);
  });
  EXPECT_EQ(o.err, "Parameter out of range: Ns=500\nFormat error in parameter file\n");
  EXPECT_TRUE(shown(load_event_p_files));

  o = capture([] { add_interpolation("bad.csp", "100"); });
  EXPECT_EQ(o.err, "Parameter out of range: Ns=500\nFormat error in parameter file\n");
  o = capture([] { add_interpolation("missing.csp", "100"); });
  EXPECT_EQ(o.err, "Can't open file missing.csp");
  EXPECT_TRUE(shown(load_p_interp));

  EXPECT_EQ(list_count(event_list_disp), 0);
  EXPECT_EQ(Event_List, nullptr);
  EXPECT_EQ(List_Size, 0);

  press(load_event_p_cancel);
  EXPECT_FALSE(shown(load_event_p_files));
  EXPECT_EQ(text_in(load_event_p_filename), "bad.csp");
}

TEST_F(editor_test, EditMovesTheLineToItsPlaceInTime) {
  three_events();
  start_edit(2);
  EXPECT_EQ(Event_List_Edit_No, 2);
  EXPECT_EQ(text_in(event_edit), "b.csp");
  EXPECT_EQ(text_in(event_time), "0");

  EXPECT_EQ(capture([] { type_and_return(event_time, "25"); }).out, "Shving\n3");
  EXPECT_EQ(Event_List_Edit_No, -1);
  EXPECT_EQ(text_in(event_edit), "");
  EXPECT_EQ(text_in(event_time), "");
  EXPECT_EQ(retime(2, "40"), "Shving\n3");
  // Typed 25 again: after the event already at 25.
  EXPECT_EQ(retime(1, "25"), "Shving\n2");

  EXPECT_EQ(lines(), (std::vector<std::string>{"b.csp                25", "a.csp                25",
                                               "c.csp                40"}));
  EXPECT_EQ(events(), (std::vector<std::string>{"b.csp@25", "a.csp@25", "c.csp@40"}));
  // Nothing is left selected after a move.
  int* positions = nullptr;
  int count = 0;
  EXPECT_FALSE(XmListGetSelectedPos(event_list_disp, &positions, &count));
}

TEST_F(editor_test, TimesBelowOneOrNoNumberLeaveTheEditPending) {
  three_events();
  start_edit(3);
  for (const char* time : {"0", "-7", "abc", ""}) {
    EXPECT_EQ(capture([&] { type_and_return(event_time, time); }).out, "") << time;
    EXPECT_EQ(Event_List_Edit_No, 3);
    EXPECT_EQ(text_in(event_edit), "c.csp");
  }
  EXPECT_EQ(events(), (std::vector<std::string>{"a.csp@0", "b.csp@0", "c.csp@0"}));

  // Hiding the editor keeps the edit; a good time then finishes it.
  press(event_editor_cancel);
  EXPECT_EQ(capture([] { type_and_return(event_time, "7 frames"); }).out, "Shving\n3");
  EXPECT_EQ(list_line(event_list_disp, 3), "c.csp                 7");
}

TEST_F(editor_test, NothingSelectedOrPendingChangesNothing) {
  three_events();
  XmListDeselectAllItems(event_list_disp);
  press(edit_event_button);
  EXPECT_EQ(Event_List_Edit_No, -1);
  press(delete_event_button);
  EXPECT_EQ(capture([] { type_and_return(event_time, "30"); }).out, "");
  EXPECT_EQ(events(), (std::vector<std::string>{"a.csp@0", "b.csp@0", "c.csp@0"}));
  EXPECT_EQ(list_count(event_list_disp), 3);
  EXPECT_EQ(List_Size, 3);
}

TEST_F(editor_test, DeleteRemovesLineAndEventAndCancelsAPendingEdit) {
  three_events();
  start_edit(3);
  select_line(1);
  press(delete_event_button);

  EXPECT_EQ(lines(), (std::vector<std::string>{"b.csp                 0", "c.csp                 0"}));
  EXPECT_EQ(events(), (std::vector<std::string>{"b.csp@0", "c.csp@0"}));
  EXPECT_EQ(List_Size, 2);
  EXPECT_EQ(Event_List_Edit_No, -1);
  EXPECT_EQ(text_in(event_edit), "");
  EXPECT_EQ(text_in(event_time), "");
  // The old position 3 lies beyond the list now: Return must not act on it.
  EXPECT_EQ(capture([] { type_and_return(event_time, "30"); }).out, "");
  EXPECT_EQ(events(), (std::vector<std::string>{"b.csp@0", "c.csp@0"}));

  select_line(2);
  press(delete_event_button);
  select_line(1);
  press(delete_event_button);
  EXPECT_EQ(list_count(event_list_disp), 0);
  EXPECT_EQ(Event_List, nullptr);
  EXPECT_EQ(List_Size, 0);
}

TEST_F(editor_test, DisplayListShowsTheStoredNames) {
  write_file("list.cse",
             "event\ntype=1\ntime=0\nname=a_very_long_change_name\nNs=1\nnoinstrm=1\nend\n"
             "event\ntype=2\ntime=100\nname=->wild\nfinish time=300\nNs=1\nnoinstrm=1\nend\n"
             "event\ntype=3\ntime=200\nname=Reseed\nend\n");
  std::FILE* fp = std::fopen("list.cse", "r");
  capture([&] { ASSERT_EQ(read_event_list(fp), 1); });
  std::fclose(fp);
  display_list();
  EXPECT_EQ(lines(), (std::vector<std::string>{"a_very_long_cha       0",
                                               "->wild              100 200",
                                               "Reseed              200"}));
  // The rebuilt lines stay in step for later edits.
  EXPECT_EQ(retime(1, "250"), "Shving\n3");
  EXPECT_EQ(lines(), (std::vector<std::string>{"->wild              100 200",
                                               "Reseed              200",
                                               "a_very_long_cha     250"}));
}

// A click of the real pointer, through the X server.
void click_with_pointer(Widget button) {
  auto viewable = [button] {
    XWindowAttributes attributes{};
    return XtIsRealized(button) && XGetWindowAttributes(display, XtWindow(button), &attributes) &&
           attributes.map_state == IsViewable;
  };
  ASSERT_TRUE(pump_until(viewable));
  Dimension width = 0;
  Dimension height = 0;
  XtVaGetValues(button, XmNwidth, &width, XmNheight, &height, nullptr);
  Position x = 0;
  Position y = 0;
  XtTranslateCoords(button, static_cast<Position>(width / 2), static_cast<Position>(height / 2), &x,
                    &y);
  const std::string command =
      "xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1";
  ASSERT_EQ(std::system(command.c_str()), 0);
}

TEST_F(editor_test, ButtonsClickedWithThePointerKeepTheEditorUp) {
  three_events();
  press(event_button);
  select_line(2);
  click_with_pointer(edit_event_button);
  EXPECT_TRUE(pump_until([] { return Event_List_Edit_No == 2; }));
  EXPECT_TRUE(shown(event_form));

  select_line(1);
  click_with_pointer(delete_event_button);
  EXPECT_TRUE(pump_until([] { return List_Size == 2; }));
  EXPECT_TRUE(shown(event_form));
  EXPECT_EQ(lines(), (std::vector<std::string>{"b.csp                 0", "c.csp                 0"}));

  click_with_pointer(event_editor_cancel);
  EXPECT_TRUE(pump_until([] { return !shown(event_form); }));
}

TEST_F(editor_test, ShowAndHideTheEditor) {
  press(event_button);
  EXPECT_TRUE(shown(event_form));
  press(event_editor_cancel);
  EXPECT_FALSE(shown(event_form));
}

TEST_F(editor_test, WidgetsHaveTheirNamesTitlesAndLayout) {
  press(event_button);
  pump();
  Widget shell = XtNameToWidget(Ctrl_pannel, "event_shell");
  ASSERT_EQ(shell, event_shell);
  char* title = nullptr;
  XtVaGetValues(event_shell, XmNtitle, &title, nullptr);
  EXPECT_STREQ(title, "Event List Editor");
  for (const char* name :
       {"event_form.widget2*event_list_disp", "event_form.delete_event_button",
        "event_form.edit_event_button", "event_form.widget9.widget10.event_edit",
        "event_form.widget9.widget10.event_time", "event_form.add_event_menu.widget16",
        "*widget17.reseed_button", "*widget17.interpolate_button", "*widget17.event_file_load",
        "event_form.event_editor_cancel"})
    EXPECT_NE(XtNameToWidget(event_shell, name), nullptr) << name;

  struct box {
    Position x, y;
    Dimension width, height;
  };
  auto box_of = [](Widget w) {
    box b{};
    XtVaGetValues(w, XmNx, &b.x, XmNy, &b.y, XmNwidth, &b.width, XmNheight, &b.height, nullptr);
    return b;
  };
  const box menu = box_of(add_event_menu);
  const box del = box_of(delete_event_button);
  const box edit = box_of(edit_event_button);
  const box quit = box_of(event_editor_cancel);
  const box list_frame = box_of(XtNameToWidget(event_form, "widget2"));
  const box edit_frame = box_of(XtNameToWidget(event_form, "widget9"));
  EXPECT_EQ(menu.x, 9);
  EXPECT_EQ(menu.y, 255);
  EXPECT_EQ(del.x, menu.x + menu.width);
  EXPECT_EQ(edit.x, del.x + del.width);
  EXPECT_EQ(quit.x, 156);
  for (const box& b : {del, edit, quit}) {
    EXPECT_EQ(b.y, 254);
    EXPECT_EQ(b.y + b.height, menu.y + menu.height);
  }
  EXPECT_EQ(list_frame.x, 0);
  EXPECT_EQ(list_frame.y, 0);
  EXPECT_EQ(list_frame.x + list_frame.width, edit_frame.x + edit_frame.width);
  EXPECT_EQ(edit_frame.x, 0);
  EXPECT_EQ(edit_frame.y, 289);
  EXPECT_EQ(edit_frame.width, 218);
  EXPECT_EQ(edit_frame.height, 53);
  const box name_field = box_of(event_edit);
  const box time_field = box_of(event_time);
  EXPECT_EQ(time_field.x, 160);
  EXPECT_EQ(time_field.y, name_field.y);
  EXPECT_EQ(time_field.height, name_field.height);
  short columns = 0;
  XtVaGetValues(event_time, XmNcolumns, &columns, nullptr);
  EXPECT_EQ(columns, 5);
  int visible = 0;
  XtVaGetValues(event_list_disp, XmNvisibleItemCount, &visible, nullptr);
  EXPECT_EQ(visible, 15);
}

TEST_F(editor_test, ListFontIsFixedWidthSoColumnsAlign) {
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
  // The server has the courier font the packages install: it is the one used.
  unsigned long name_atom = 0;
  ASSERT_TRUE(XGetFontProperty(font, XA_FONT, &name_atom));
  char* name = XGetAtomName(display, name_atom);
  EXPECT_STREQ(name, "-Adobe-Courier-Bold-R-Normal--12-120-75-75-M-70-ISO8859-1");
  XFree(name);
}

}  // namespace
