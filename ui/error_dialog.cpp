#include "ui/error_dialog.h"

#include <Xm/MessageB.h>

#include "engine/report.h"
#include "ui/placement.h"
#include "ui/widgets.h"

Widget error_dialog;

namespace {

// What the dialog shows while it is up.
std::string shown_messages;
// The window the next failure comes from; the control panel when none.
Widget failing_window = nullptr;

void cb_close_error_dialog(Widget, XtPointer, XtPointer) { XtUnmanageChild(error_dialog); }

}  // namespace

void create_error_dialog(Widget parent) {
  error_dialog = XmCreateErrorDialog(parent, const_cast<char*>("error_dialog"), nullptr, 0);
  XtVaSetValues(XtParent(error_dialog), XmNtitle, "zelmora: Error", nullptr);
  XtUnmanageChild(XmMessageBoxGetChild(error_dialog, XmDIALOG_CANCEL_BUTTON));
  XtUnmanageChild(XmMessageBoxGetChild(error_dialog, XmDIALOG_HELP_BUTTON));
  // Closed through the window manager it must be unmanaged too, or the
  // next failure would be added to a dialog nobody sees.
  on_window_close(XtParent(error_dialog), cb_close_error_dialog);
  show_errors_in(show_error_dialog);
}

void show_error_dialog(const std::string& message) {
  if (!XtIsManaged(error_dialog))
    shown_messages.clear();
  else if (!shown_messages.empty() && shown_messages.back() != '\n')
    shown_messages += '\n';  // every message starts a line of its own
  shown_messages += message;
  // The final line break would only add an empty line to the box.
  std::string text = shown_messages;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  const compound_string label = make_label(text.c_str());
  XtVaSetValues(error_dialog, XmNmessageString, label.get(), nullptr);
  const bool opening = !XtIsManaged(error_dialog);
  XtManageChild(error_dialog);
  // Beside the window that failed, which stays in sight, not over it.
  if (opening)
    place_beside(error_dialog, failing_window ? failing_window : XtParent(XtParent(error_dialog)));
  failing_window = nullptr;
}

void show_errors_beside(Widget window) { failing_window = window; }
