#include "ui/slider_window.h"

#include <Xm/DialogS.h>
#include <Xm/Form.h>
#include <Xm/Label.h>
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>
#include <Xm/Scale.h>
#include <Xm/TextF.h>
#include <Xm/ToggleB.h>

#include "ui/widgets.h"

namespace {

constexpr int holder_height = 182;
constexpr int display_columns = 15;
constexpr int auto_set_columns = 8;
constexpr int lock_offset = 10;  // gap between the field and "Lock"

Widget make_button(Widget parent, const char* name, const char* text) {
  const compound_string label = make_label(text);
  return XtVaCreateWidget(name, xmPushButtonWidgetClass, parent, XmNlabelString, label.get(),
                          nullptr);
}

Widget make_text_label(Widget parent, const char* name, const char* text) {
  const compound_string label = make_label(text);
  return XtVaCreateWidget(name, xmLabelWidgetClass, parent, XmNlabelString, label.get(),
                          nullptr);
}

Widget make_dialog_shell(Widget parent, const char* name, const char* title) {
  return XtVaCreatePopupShell(name, xmDialogShellWidgetClass, parent, XmNtitle, title,
                              XmNallowShellResize, True, nullptr);
}

// The form a dialog shell shows. Its buttons decide when it hides: a form
// in a dialog shell would otherwise hide itself at any button press.
Widget make_top_form(Widget shell, const char* name, int margin) {
  return XtVaCreateWidget(name, xmFormWidgetClass, shell, XmNautoUnmanage, False,
                          XmNmarginWidth, margin, XmNmarginHeight, margin, nullptr);
}

// The side panel: caption, field, then Lock with the three buttons stacked
// under it at its left edge.
void build_side_panel(slider_window& window, const slider_window_names& names) {
  Widget side = window.side_form;
  Widget caption = make_text_label(side, names.caption_label, names.caption);
  XtVaSetValues(caption, XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM,
                nullptr);
  window.display = XtVaCreateWidget(
      names.display, xmTextFieldWidgetClass, side, XmNcolumns, display_columns,
      XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, caption, XmNleftAttachment,
      XmATTACH_FORM, XmNrightAttachment, XmATTACH_FORM, nullptr);

  const compound_string lock_label = make_label("Lock");
  window.lock = XtVaCreateWidget(names.lock, xmToggleButtonWidgetClass, side, XmNlabelString,
                                 lock_label.get(), XmNtopAttachment, XmATTACH_WIDGET,
                                 XmNtopWidget, window.display, XmNtopOffset, lock_offset,
                                 XmNleftAttachment, XmATTACH_FORM, nullptr);
  window.auto_set = make_button(side, names.auto_set, "Auto-set");
  window.quit = make_button(side, names.quit, "Quit");
  window.reset = make_button(side, names.reset, "Reset");
  Widget above = window.lock;
  for (Widget button : {window.auto_set, window.quit, window.reset}) {
    XtVaSetValues(button, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, above,
                  XmNtopOffset, 3, XmNleftAttachment, XmATTACH_OPPOSITE_WIDGET,
                  XmNleftWidget, window.lock, XmNrightAttachment, XmATTACH_FORM, nullptr);
    above = button;
  }
  manage_all({caption, window.display, window.lock, window.auto_set, window.quit,
              window.reset});
}

}  // namespace

slider_window build_slider_window(Widget parent, const slider_window_names& names,
                                  std::span<Widget> sliders, XtCallbackProc on_slider) {
  slider_window window{};
  window.shell = make_dialog_shell(parent, names.shell, names.title);
  window.form = make_top_form(window.shell, names.form, 8);

  window.holder = XtVaCreateWidget(
      names.holder, xmRowColumnWidgetClass, window.form, XmNorientation, XmHORIZONTAL,
      XmNheight, holder_height, XmNresizeHeight, False, XmNtopAttachment, XmATTACH_FORM,
      XmNleftAttachment, XmATTACH_FORM, nullptr);
  for (std::size_t i = 0; i < sliders.size(); ++i) {
    // No resources: each slider keeps the toolkit's 0 to 100, unlabelled.
    sliders[i] = XtCreateWidget("slider", xmScaleWidgetClass, window.holder, nullptr, 0);
    XtAddCallback(sliders[i], XmNvalueChangedCallback, on_slider,
                  reinterpret_cast<XtPointer>(static_cast<std::intptr_t>(i)));
  }
  XtManageChildren(sliders.data(), static_cast<Cardinal>(sliders.size()));

  window.side_form = XtVaCreateWidget(
      names.side_form, xmFormWidgetClass, window.form, XmNtopAttachment,
      XmATTACH_OPPOSITE_WIDGET, XmNtopWidget, window.holder, XmNleftAttachment,
      XmATTACH_WIDGET, XmNleftWidget, window.holder, XmNleftOffset, 12, XmNrightAttachment,
      XmATTACH_FORM, XmNbottomAttachment, XmATTACH_FORM, nullptr);
  build_side_panel(window, names);
  manage_all({window.holder, window.side_form});
  return window;
}

auto_set_dialog build_auto_set_dialog(Widget parent, const auto_set_names& names) {
  auto_set_dialog dialog{};
  dialog.shell = make_dialog_shell(parent, names.shell, names.title);
  dialog.form = make_top_form(dialog.shell, names.form, 12);

  Widget start_label = make_text_label(dialog.form, "widget2", "Start at");
  Widget second_label = make_text_label(dialog.form, "widget4", names.second_label);
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

  dialog.ok = make_button(dialog.form, "widget6", "OK");
  dialog.cancel = make_button(dialog.form, "widget7", "Cancel");
  XtVaSetValues(dialog.ok, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, dialog.second,
                XmNtopOffset, 16, XmNleftAttachment, XmATTACH_FORM, XmNbottomAttachment,
                XmATTACH_FORM, XmNrightAttachment, XmATTACH_POSITION, XmNrightPosition, 48,
                nullptr);
  XtVaSetValues(dialog.cancel, XmNtopAttachment, XmATTACH_OPPOSITE_WIDGET, XmNtopWidget,
                dialog.ok, XmNleftAttachment, XmATTACH_POSITION, XmNleftPosition, 52,
                XmNrightAttachment, XmATTACH_FORM, XmNbottomAttachment, XmATTACH_FORM,
                nullptr);
  manage_all({start_label, dialog.start, second_label, dialog.second, dialog.ok,
              dialog.cancel});
  return dialog;
}
