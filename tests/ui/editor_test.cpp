#include "ui_fixture.h"

namespace {

class editor_test : public ui_fixture {
 protected:
  // A change event from `path`, or with a length an interpolation towards it.
  static void add_event(const std::string& path, const char* length = nullptr) {
    press(length ? interpolate_button : event_file_load);
    type_text(length ? interp_filename : load_event_p_filename, path);
    if (length) type_text(interp_length, length);
    press(length ? ok_of(load_p_interp) : load_event_p_ok);
  }
  static void on_line(int line, Widget button) {
    XmListSelectPos(event_list_disp, line, False);
    press(button);
  }
  // What the editor prints when Return is pressed in the time field.
  static std::string type_time(const std::string& time) {
    return capture([&] { type_and_return(event_time, time); }).out;
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
};

}  // namespace

// Also: a re-timed or rebuilt interpolation line keeps the whole name.
TEST_F(editor_test, adds_change_reseed_and_interpolation_lines) {
  parameters_type in_file = Current_State;
  in_file.r1 = 0.5f;
  in_file.x = 70;
  spit("turbulence.csp", parameters_text(in_file));
  Current_State.iter = 321;  // no parameter file holds iter
  add_event("turbulence.csp");
  EXPECT_FALSE(shown(load_event_p_files));
  in_file.iter = 321;
  EXPECT_EQ(*Event_List->params, in_file);
  on_line(1, edit_event_button);
  EXPECT_EQ(type_time("40"), "Shving\n1");
  press(reseed_button);
  add_event("turbulence.csp", "100");
  EXPECT_FALSE(shown(load_p_interp));
  const strings added{"turbulence.csp       40", "Reseed               40",
                      "->turbulence.csp     40 100"};
  EXPECT_EQ(list_lines(event_list_disp), added);
  EXPECT_EQ(events(), "turbulence.csp@40 Reseed@40 ->turbulence.csp@40 (3)");
  EXPECT_EQ(event_number(3)->end_time, 140);

  on_line(3, edit_event_button);
  type_time("50");
  EXPECT_EQ(list_lines(event_list_disp).back(), "->turbulence.csp     50 100");
  XmListDeleteAllItems(event_list_disp);
  display_list();
  EXPECT_EQ(list_lines(event_list_disp).back(), "->turbulence.csp     50 100");
}

// Also: a delete cancels the pending edit.
TEST_F(editor_test, edit_moves_the_line_to_its_place_in_time_and_delete_removes_it) {
  for (const char* name : {"a.csp", "b.csp", "c.csp"}) {
    spit(name, parameters_text(Current_State));
    add_event(name);
  }
  on_line(2, edit_event_button);
  EXPECT_EQ(pending(), "2 b.csp|0");
  for (const char* refused : {"0", "2.5"}) EXPECT_EQ(type_time(refused), "") << refused;
  EXPECT_EQ(pending(), "2 b.csp|2.5");
  EXPECT_EQ(type_time("25"), "Shving\n3");
  EXPECT_EQ(pending(), "-1 |");
  EXPECT_EQ(list_lines(event_list_disp),
            (strings{"a.csp                 0", "c.csp                 0",
                     "b.csp                25"}));
  EXPECT_EQ(events(), "a.csp@0 c.csp@0 b.csp@25 (3)");

  on_line(3, edit_event_button);
  on_line(1, delete_event_button);
  EXPECT_EQ(list_lines(event_list_disp),
            (strings{"c.csp                 0", "b.csp                25"}));
  EXPECT_EQ(pending(), "-1 |");
  EXPECT_EQ(type_time("30"), "");
  EXPECT_EQ(events(), "c.csp@0 b.csp@25 (2)");
}
