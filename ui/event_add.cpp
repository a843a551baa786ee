// The Event List Editor's Add menu and its two file dialogs: a change to a
// parameter file's set, a glide towards one, a reseed; each an undoable
// edit of the list.
#include <Xm/DialogS.h>
#include <Xm/FileSB.h>
#include <Xm/Form.h>
#include <Xm/Label.h>
#include <Xm/TextF.h>

#include "engine/externs.h"
#include "engine/report.h"
#include "events/event_list.h"
#include "files/param_file.h"
#include "files/readable_file.h"
#include "ui/Xevent.h"
#include "ui/event_lines.h"
#include "ui/messages.h"
#include "ui/placement.h"
#include "ui/undo.h"
#include "ui/widgets.h"

namespace {

constexpr int length_label_left = 36;  // pixels, in the glide's dialog

// Reads the parameter file a new event refers to. The set starts as a copy
// of the current one, so fields the file does not name (iter) stay sensible.
bool load_event_parameters(const std::string& path, parameters_type& params) {
  const file_ptr fp = open_for_reading(path);
  if (!fp) {
    report_file_error("Can't open file", path, reading_failure(errno));
    return false;
  }
  params = Current_State;
  if (const int status = read_parameters(fp.get(), params); status < 0) {
    report_parameter_refusal(status, path);
    return false;
  }
  return true;
}

void cb_load_event_p_cancel(Widget, XtPointer, XtPointer) { XtUnmanageChild(load_event_p_files); }
void cb_load_p_interp_cancel(Widget, XtPointer, XtPointer) { XtUnmanageChild(load_p_interp); }

void cb_load_event_p_ok(Widget, XtPointer, XtPointer) {
  const std::string path = field_text(load_event_p_filename);
  parameters_type params;
  if (!load_event_parameters(path, params)) return;
  const std::string name = namefind(path);
  const int time = next_event_time();
  const undoable_change change("Add " + name, true);
  add_event_params(params, name);
  event_number(List_Size + 1)->time_stamp = time;
  append_line(change_line(name, time));
  List_Size += 1;
  XtUnmanageChild(load_event_p_files);
}

void cb_interp_ok(Widget, XtPointer, XtPointer) {
  const std::string path = field_text(interp_filename);
  parameters_type params;
  if (!load_event_parameters(path, params)) return;
  const std::string name = namefind(path);
  const int time = next_event_time();
  int length = 0;
  if (!read_whole_number(field_text(interp_length), length)) {
    report_error("Bad length\nLength: a whole number of iterations\n");
    return;
  }
  const undoable_change change("Add Glide to " + name, true);
  add_event_interp(params, name, time, clamped_int(static_cast<long long>(time) + length));
  append_line(new_interp_line(name, time, length));
  List_Size += 1;
  XtUnmanageChild(load_p_interp);
}

// A file selection box for "*.csp" files in its own dialog shell; the
// handlers decide when it closes.
Widget create_csp_box(Widget shell, const char* name) {
  const compound_string pattern = make_compound_string("*.csp");
  Arg args[2];
  int n = 0;
  XtSetArg(args[n], XmNpattern, pattern.get()), ++n;
  XtSetArg(args[n], XmNautoUnmanage, False), ++n;
  return XmCreateFileSelectionBox(shell, const_cast<char*>(name), args, n);
}

}  // namespace

void cb_reseed_event(Widget, XtPointer, XtPointer) {
  const undoable_change change("Add Reseed", true);
  const int time = next_event_time();
  add_event_special();
  event_number(List_Size + 1)->time_stamp = time;
  append_line(change_line("Reseed", time));
  List_Size += 1;
}

void cb_load_event_p(Widget, XtPointer, XtPointer) {
  open_file_dialog(load_event_p_files, event_form);
}

void cb_interpolate_event(Widget, XtPointer, XtPointer) {
  open_file_dialog(load_p_interp, event_form);
}

void create_load_event_p_shell(Widget parent) {
  load_event_p_shell = XtVaCreatePopupShell("load_event_p_shell", xmDialogShellWidgetClass, parent,
                                            XmNtitle, "Add Parameter File Event", nullptr);
  load_event_p_files = create_csp_box(load_event_p_shell, "load_event_p_files");
  load_event_p_ok = XmFileSelectionBoxGetChild(load_event_p_files, XmDIALOG_OK_BUTTON);
  load_event_p_cancel = XmFileSelectionBoxGetChild(load_event_p_files, XmDIALOG_CANCEL_BUTTON);
  load_event_p_filename = XmFileSelectionBoxGetChild(load_event_p_files, XmDIALOG_TEXT);
  XtAddCallback(load_event_p_cancel, XmNactivateCallback, cb_load_event_p_cancel, nullptr);
  XtAddCallback(load_event_p_ok, XmNactivateCallback, cb_load_event_p_ok, nullptr);
}

void create_load_p_interp_shell(Widget parent) {
  load_p_interp_shell =
      XtVaCreatePopupShell("load_p_interp_shell", xmDialogShellWidgetClass, parent, XmNtitle,
                           "Add Interpolation Event", nullptr);
  load_p_interp = create_csp_box(load_p_interp_shell, "load_p_interp");
  Widget length_form = XtVaCreateManagedWidget("widget21", xmFormWidgetClass, load_p_interp, nullptr);
  Widget length_label = make_labelled(xmLabelWidgetClass, length_form, "widget22", "Length");
  XtManageChild(length_label);
  interp_length = XtVaCreateManagedWidget("interp_length", xmTextFieldWidgetClass, length_form,
                                          XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment,
                                          XmATTACH_WIDGET, XmNleftWidget, length_label,
                                          XmNleftOffset, 8, nullptr);
  XtVaSetValues(length_label, XmNleftAttachment, XmATTACH_FORM, XmNleftOffset, length_label_left,
                XmNtopAttachment, XmATTACH_OPPOSITE_WIDGET, XmNtopWidget, interp_length,
                XmNbottomAttachment, XmATTACH_OPPOSITE_WIDGET, XmNbottomWidget, interp_length,
                nullptr);
  interp_filename = XmFileSelectionBoxGetChild(load_p_interp, XmDIALOG_TEXT);
  XtAddCallback(XmFileSelectionBoxGetChild(load_p_interp, XmDIALOG_CANCEL_BUTTON),
                XmNactivateCallback, cb_load_p_interp_cancel, nullptr);
  XtAddCallback(XmFileSelectionBoxGetChild(load_p_interp, XmDIALOG_OK_BUTTON), XmNactivateCallback,
                cb_interp_ok, nullptr);
}

