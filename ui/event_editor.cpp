// The Event List Editor: one list line per event, the Add menu (its
// dialogs: event_add.cpp), Delete, and Edit to give an event a new time.
#include "ui/Xevent.h"

#include <Xm/CascadeB.h>
#include <Xm/DialogS.h>
#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/List.h>
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>
#include <Xm/TextF.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/externs.h"
#include "engine/report.h"
#include "events/event_list.h"
#include "ui/xm_text.h"
#include "ui/Xctrl.h"
#include "ui/event_lines.h"
#include "ui/placement.h"
#include "ui/undo.h"
#include "ui/window_keys.h"
#include "ui/widgets.h"

Widget event_shell, event_form, event_list_disp;
Widget delete_event_button, edit_event_button, edit_event, event_edit;
Widget edit_time, event_time, add_event_menu;
Widget event_file_load, reseed_button, interpolate_button, event_editor_cancel;
Widget load_event_p_shell, load_event_p_files, load_event_p_ok, load_event_p_cancel,
    load_event_p_filename;
Widget load_p_interp_shell, load_p_interp, interp_filename, interp_length;

namespace {

// Fixed width, so that the columns of the lines align.
constexpr const char* list_font = "-adobe-courier-bold-r-normal--12-120-75-75-m-70-iso8859-1";
constexpr const char* list_font_fallback = "fixed";

// Distances inside the editor's form, in pixels.
constexpr int row_top = 254;
constexpr int list_gap = 3;  // between the list frame and the row below it
constexpr int menu_top = 255;
constexpr int menu_left = 9;
constexpr int quit_left = 156;
constexpr int edit_frame_top = 289;
constexpr int edit_frame_width = 218;
constexpr int edit_frame_height = 342 - 289;
constexpr int time_field_left = 160;

// The column headings above the lines, in the lines' own font.
constexpr const char* column_headings = "Name               Time Len";

// The first selected line, or 0 when none is.
int selected_position() {
  int* positions = nullptr;
  int count = 0;
  if (!XmListGetSelectedPos(event_list_disp, &positions, &count)) return 0;
  const int first = count > 0 ? positions[0] : 0;
  XtFree(reinterpret_cast<char*>(positions));
  return first;
}

int line_count() {
  int count = 0;
  XtVaGetValues(event_list_disp, XmNitemCount, &count, nullptr);
  return count;
}

// A whole number filling a field: "2.5" is not taken as 2.
bool read_int(Widget field, int& value) { return read_whole_number(field_text(field), value); }

void cb_editor_quit(Widget, XtPointer, XtPointer) { XtUnmanageChild(event_form); }

void cb_edit_event(Widget, XtPointer, XtPointer) {
  const int position = selected_position();
  if (position == 0) return;
  Event_List_Edit_No = position;
  std::string name;
  find_event_name(position, name);
  show_text(event_edit, name);
  show_text(event_time, std::to_string(find_event_time(position)));
}

void cb_edit_finish(Widget, XtPointer, XtPointer) {
  const int position = Event_List_Edit_No;
  if (position == -1) return;
  int time = 0;
  if (!read_int(event_time, time) || time <= 0) {
    report_error("Bad number\nTime: a whole number of iterations, 1 to 2147483647\n");
    return;
  }
  if (position < 1 || position > line_count()) {
    cancel_event_edit();
    return;
  }
  const undoable_change change("Event Time", true);
  std::fputs("Shving\n", Echo_Stream);
  show_text(event_edit, "");
  show_text(event_time, "");
  XmListDeletePos(event_list_disp, position);

  std::string name;
  int type = 0;
  int length = 0;
  find_event_name(position, name);
  find_event_type(position, type);
  find_event_length(position, length);

  const int new_position = set_event_time(position, time);
  std::fprintf(Echo_Stream, "%d\n", new_position);
  XmListAddItemUnselected(event_list_disp,
                          make_compound_string(stored_line(name, type, time, length)).get(),
                          new_position);
  Event_List_Edit_No = -1;
}

void cb_delete_event(Widget, XtPointer, XtPointer) {
  const int position = selected_position();
  if (position == 0) return;
  const undoable_change change("Delete Event", true);
  XmListDeletePos(event_list_disp, position);
  delete_event(position);
  List_Size -= 1;
  // Positions after the deleted line have moved: a pending edit would name
  // another event.
  cancel_event_edit();
}

// The courier font when the server has it, otherwise a fixed-width font it
// always has; checking first keeps the toolkit from warning about it.
XmFontList list_font_list(Display* display) {
  int count = 0;
  char** names = XListFonts(display, list_font, 1, &count);
  if (names) XFreeFontNames(names);
  const char* font = count > 0 ? list_font : list_font_fallback;
  XmFontListEntry entry = XmFontListEntryLoad(display, const_cast<char*>(font), XmFONT_IS_FONT,
                                              const_cast<char*>(XmFONTLIST_DEFAULT_TAG));
  XmFontList list = XmFontListAppendEntry(nullptr, entry);
  XmFontListEntryFree(&entry);
  return list;
}

Widget labelled(const char* name, WidgetClass widget_class, Widget parent, const char* label) {
  Widget w = make_labelled(widget_class, parent, name, label);
  XtManageChild(w);
  return w;
}

void create_event_list(Widget frame) {
  XmFontList font = list_font_list(XtDisplay(frame));
  Arg args[3];
  int n = 0;
  XtSetArg(args[n], XmNvisibleItemCount, 15), ++n;
  XtSetArg(args[n], XmNfontList, font), ++n;
  XtSetArg(args[n], XmNlistSizePolicy, XmCONSTANT), ++n;
  event_list_disp = XmCreateScrolledList(frame, const_cast<char*>("event_list_disp"), args, n);
  XtVaCreateManagedWidget("event_headings", xmLabelWidgetClass, frame, XtVaTypedArg,
                          XmNlabelString, XmRString, column_headings,
                          static_cast<int>(std::strlen(column_headings)) + 1, XmNfontList, font,
                          XmNframeChildType, XmFRAME_TITLE_CHILD, XmNchildVerticalAlignment,
                          XmALIGNMENT_WIDGET_BOTTOM, XmNchildHorizontalSpacing, 5,
                          XmNmarginWidth, 0, nullptr);
  XmFontListFree(font);
  XtManageChild(event_list_disp);
  XtAddCallback(event_list_disp, XmNdefaultActionCallback, cb_edit_event, nullptr);
}

void create_add_menu() {
  add_event_menu = XmCreateMenuBar(event_form, const_cast<char*>("add_event_menu"), nullptr, 0);
  XtVaSetValues(add_event_menu, XmNtopAttachment, XmATTACH_FORM, XmNtopOffset, menu_top,
                XmNleftAttachment, XmATTACH_FORM, XmNleftOffset, menu_left, nullptr);
  Widget pulldown = XmCreatePulldownMenu(add_event_menu, const_cast<char*>("widget17"), nullptr, 0);
  Widget cascade = labelled("widget16", xmCascadeButtonWidgetClass, add_event_menu, "Add");
  XtVaSetValues(cascade, XmNsubMenuId, pulldown, XmNmnemonic, XK_A, nullptr);
  event_file_load = labelled("event_file_load", xmPushButtonWidgetClass, pulldown, "Parameter File");
  reseed_button = labelled("reseed_button", xmPushButtonWidgetClass, pulldown, "Reseed");
  interpolate_button = labelled("interpolate_button", xmPushButtonWidgetClass, pulldown, "Interpolate");
  XtManageChild(add_event_menu);
  XtAddCallback(event_file_load, XmNactivateCallback, cb_load_event_p, nullptr);
  XtAddCallback(reseed_button, XmNactivateCallback, cb_reseed_event, nullptr);
  XtAddCallback(interpolate_button, XmNactivateCallback, cb_interpolate_event, nullptr);
}

// A button of the row below the list: top at row_top, bottom level with the menu bar.
Widget row_button(const char* name, const char* label) {
  Widget button = labelled(name, xmPushButtonWidgetClass, event_form, label);
  XtVaSetValues(button, XmNtopAttachment, XmATTACH_FORM, XmNtopOffset, row_top,
                XmNbottomAttachment, XmATTACH_OPPOSITE_WIDGET, XmNbottomWidget, add_event_menu,
                nullptr);
  return button;
}

void create_button_row() {
  delete_event_button = row_button("delete_event_button", "Delete");
  XtVaSetValues(delete_event_button, XmNleftAttachment, XmATTACH_WIDGET, XmNleftWidget,
                add_event_menu, nullptr);
  edit_event_button = row_button("edit_event_button", "Edit");
  XtVaSetValues(edit_event_button, XmNleftAttachment, XmATTACH_WIDGET, XmNleftWidget,
                delete_event_button, nullptr);
  event_editor_cancel = row_button("event_editor_cancel", "Close");
  XtVaSetValues(event_editor_cancel, XmNleftAttachment, XmATTACH_FORM, XmNleftOffset, quit_left,
                nullptr);
  XtAddCallback(delete_event_button, XmNactivateCallback, cb_delete_event, nullptr);
  XtAddCallback(edit_event_button, XmNactivateCallback, cb_edit_event, nullptr);
  XtAddCallback(event_editor_cancel, XmNactivateCallback, cb_editor_quit, nullptr);
}

Widget create_edit_fields() {
  Widget frame = XtVaCreateManagedWidget(
      "widget9", xmFrameWidgetClass, event_form, XmNtopAttachment, XmATTACH_FORM, XmNtopOffset,
      edit_frame_top, XmNleftAttachment, XmATTACH_FORM, XmNwidth, edit_frame_width, XmNheight,
      edit_frame_height, nullptr);
  Widget form = XtVaCreateManagedWidget("widget10", xmFormWidgetClass, frame, nullptr);
  edit_event = labelled("edit_event", xmLabelWidgetClass, form, "Event");
  XtVaSetValues(edit_event, XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM,
                nullptr);
  edit_time = labelled("edit_time", xmLabelWidgetClass, form, "Time");
  XtVaSetValues(edit_time, XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM,
                XmNleftOffset, time_field_left, nullptr);
  event_edit = XtVaCreateManagedWidget(
      "event_edit", xmTextFieldWidgetClass, form, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget,
      edit_event, XmNleftAttachment, XmATTACH_FORM, XmNbottomAttachment, XmATTACH_FORM, nullptr);
  event_time = XtVaCreateManagedWidget(
      "event_time", xmTextFieldWidgetClass, form, XmNcolumns, 5, XmNleftAttachment, XmATTACH_FORM,
      XmNleftOffset, time_field_left, XmNrightAttachment, XmATTACH_FORM, XmNtopAttachment,
      XmATTACH_OPPOSITE_WIDGET, XmNtopWidget, event_edit, XmNbottomAttachment,
      XmATTACH_OPPOSITE_WIDGET, XmNbottomWidget, event_edit, nullptr);
  XtVaSetValues(event_edit, XmNrightAttachment, XmATTACH_WIDGET, XmNrightWidget, event_time,
                XmNrightOffset, 8, nullptr);
  XtAddCallback(event_time, XmNactivateCallback, cb_edit_finish, nullptr);
  return frame;
}

template <typename... Values>
std::string format_line(const char* format, Values... values) {
  const int length = std::snprintf(nullptr, 0, format, values...);
  std::string line(static_cast<std::size_t>(std::max(length, 0)), '\0');
  std::snprintf(line.data(), line.size() + 1, format, values...);
  return line;
}

}  // namespace

// Whole names: a long one pushes its numbers right rather than losing its
// end, which is often what tells two files apart.
std::string change_line(const std::string& name, int time) {
  return format_line("%-17s %5d", name.c_str(), time);
}

std::string new_interp_line(const std::string& name, int time, int length) {
  return format_line("->%-15s %5d %3d", name.c_str(), time, length);
}

// The line of a stored event, whose interpolation names already begin with
// "->", so a line reads the same after a re-time or a rebuild.
std::string stored_line(const std::string& name, int type, int time, int length) {
  if (type != event_interp) return change_line(name, time);
  return format_line("%-17s %5d %3d", name.c_str(), time, length);
}

// The time a new event gets: right after the last one, when a glide has
// ended or one iteration after a change or reseed; 0 for the first.
int next_event_time() {
  const event_type* last = List_Size > 0 ? event_number(List_Size) : nullptr;
  if (!last) return 0;
  if (last->type == event_interp) return std::max(last->end_time, last->time_stamp);
  return last->time_stamp < INT_MAX ? last->time_stamp + 1 : INT_MAX;
}

int clamped_int(long long value) {
  return static_cast<int>(value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : value);
}

void append_line(const std::string& line) {
  XmListAddItemUnselected(event_list_disp, make_compound_string(line).get(), 0);
}

void cancel_event_edit() {
  Event_List_Edit_No = -1;
  show_text(event_edit, "");
  show_text(event_time, "");
}

void cb_pop_event(Widget, XtPointer, XtPointer) { open_beside(event_form, Ctrl_pannel); }

void create_event_shell(Widget parent) {
  event_shell = XtVaCreatePopupShell("event_shell", xmDialogShellWidgetClass, parent, XmNtitle,
                                     "Event List Editor", nullptr);
  // Buttons of a form in a dialog shell would otherwise hide it.
  event_form = XtVaCreateWidget("event_form", xmFormWidgetClass, event_shell, XmNautoUnmanage,
                                False, nullptr);
  Widget list_frame = XtVaCreateManagedWidget("widget2", xmFrameWidgetClass, event_form,
                                              XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment,
                                              XmATTACH_FORM, nullptr);
  create_event_list(list_frame);
  create_add_menu();
  create_button_row();
  Widget edit_frame = create_edit_fields();
  // Held above the button row too: a list given its lines before the editor
  // was first shown would otherwise ask for one line more and cover the row.
  XtVaSetValues(list_frame, XmNrightAttachment, XmATTACH_OPPOSITE_WIDGET, XmNrightWidget,
                edit_frame, XmNbottomAttachment, XmATTACH_WIDGET, XmNbottomWidget,
                add_event_menu, XmNbottomOffset, list_gap, nullptr);
  Event_List_Edit_No = -1;
  take_window_keys(event_form);
}

void display_list() {
  std::vector<compound_string> lines;
  std::vector<XmString> items;
  for (const event_type* e = Event_List.get(); e; e = e->next.get()) {
    const int length =
        e->type == event_interp ? clamped_int(static_cast<long long>(e->end_time) - e->time_stamp) : 0;
    lines.push_back(make_compound_string(stored_line(e->name, e->type, e->time_stamp, length)));
    items.push_back(lines.back().get());
  }
  if (!items.empty())
    XmListAddItemsUnselected(event_list_disp, items.data(), static_cast<int>(items.size()), 0);
}

std::string namefind(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
