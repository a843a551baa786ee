// The Auto-set dialog the States and Instruments windows share: "Start
// at" and a second field, a hint of what they take, OK and Cancel; Return
// in a field presses OK.
#include <Xm/Form.h>
#include <Xm/Label.h>
#include <Xm/PushB.h>
#include <Xm/TextF.h>

#include "ui/placement.h"
#include "ui/slider_window.h"
#include "ui/widgets.h"

namespace {

constexpr int auto_set_columns = 8;

void press_default_button(Widget, XtPointer button, XtPointer) {
  XtCallCallbacks(static_cast<Widget>(button), XmNactivateCallback, nullptr);
}

}  // namespace

auto_set_dialog build_auto_set_dialog(Widget parent, const auto_set_names& names) {
  auto_set_dialog dialog{};
  dialog.shell = make_dialog_shell(parent, names.shell, names.title);
  dialog.form = make_top_form(dialog.shell, names.form, 12);

  Widget start_label = make_labelled(xmLabelWidgetClass, dialog.form, "widget2", "Start at");
  Widget second_label = make_labelled(xmLabelWidgetClass, dialog.form, "widget4", names.second_label);
  // The fields start right of the wider label, the second under the first.
  const int field_left = column_right_of({start_label, second_label}, 10);
  dialog.start = XtVaCreateWidget(
      names.start, xmTextFieldWidgetClass, dialog.form, XmNcolumns, auto_set_columns,
      XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM, XmNleftOffset,
      field_left, XmNrightAttachment, XmATTACH_FORM, nullptr);
  dialog.second = XtVaCreateWidget(
      names.second, xmTextFieldWidgetClass, dialog.form, XmNcolumns, auto_set_columns,
      XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, dialog.start, XmNtopOffset, 8,
      XmNleftAttachment, XmATTACH_OPPOSITE_WIDGET, XmNleftWidget, dialog.start,
      XmNrightAttachment, XmATTACH_FORM, nullptr);
  // The labels sit level with their fields.
  XtVaSetValues(start_label, XmNleftAttachment, XmATTACH_FORM, XmNtopAttachment,
                XmATTACH_OPPOSITE_WIDGET, XmNtopWidget, dialog.start, XmNbottomAttachment,
                XmATTACH_OPPOSITE_WIDGET, XmNbottomWidget, dialog.start, nullptr);
  XtVaSetValues(second_label, XmNleftAttachment, XmATTACH_FORM, XmNtopAttachment,
                XmATTACH_OPPOSITE_WIDGET, XmNtopWidget, dialog.second, XmNbottomAttachment,
                XmATTACH_OPPOSITE_WIDGET, XmNbottomWidget, dialog.second, nullptr);

  // What the fields take, said before anything is refused.
  Widget hint = make_labelled(xmLabelWidgetClass, dialog.form, "auto_set_hint", " ");
  XtVaSetValues(hint, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, dialog.second,
                XmNtopOffset, 6, XmNleftAttachment, XmATTACH_FORM, XmNrightAttachment,
                XmATTACH_FORM, XmNalignment, XmALIGNMENT_BEGINNING, nullptr);
  dialog.ok = make_labelled(xmPushButtonWidgetClass, dialog.form, "widget6", "OK");
  dialog.cancel = make_labelled(xmPushButtonWidgetClass, dialog.form, "widget7", "Cancel");
  XtVaSetValues(dialog.ok, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, hint,
                XmNtopOffset, 12, XmNleftAttachment, XmATTACH_FORM, XmNbottomAttachment,
                XmATTACH_FORM, XmNrightAttachment, XmATTACH_POSITION, XmNrightPosition, 48,
                nullptr);
  XtVaSetValues(dialog.cancel, XmNtopAttachment, XmATTACH_OPPOSITE_WIDGET, XmNtopWidget,
                dialog.ok, XmNleftAttachment, XmATTACH_POSITION, XmNleftPosition, 52,
                XmNrightAttachment, XmATTACH_FORM, XmNbottomAttachment, XmATTACH_FORM,
                nullptr);
  manage_all({start_label, dialog.start, second_label, dialog.second, hint, dialog.ok,
              dialog.cancel});
  // Return in either field presses OK.
  XtVaSetValues(dialog.form, XmNdefaultButton, dialog.ok, nullptr);
  for (Widget field : {dialog.start, dialog.second})
    XtAddCallback(field, XmNactivateCallback, press_default_button, dialog.ok);
  return dialog;
}

void open_auto_set(Widget dialog_form, Widget window_shell, const std::string& hint) {
  set_label(XtNameToWidget(dialog_form, "auto_set_hint"), hint.c_str());
  open_beside(dialog_form, window_shell);
}
