#include "ui/widgets.h"

#include <Xm/Protocols.h>
#include <Xm/Scale.h>
#include <Xm/TextF.h>

#include <algorithm>

compound_string make_label(const char* text) {
  return compound_string(
      XmStringCreateLtoR(const_cast<char*>(text), const_cast<char*>(XmFONTLIST_DEFAULT_TAG)));
}

void set_label(Widget w, const char* text) {
  const compound_string label = make_label(text);
  XtVaSetValues(w, XmNlabelString, label.get(), nullptr);
}

std::string field_text(Widget field) {
  char* text = XmTextFieldGetString(field);
  std::string result = text ? text : "";
  XtFree(text);
  return result;
}

void show_text(Widget field, const std::string& text) {
  if (field_text(field) == text) return;
  XmTextFieldSetString(field, const_cast<char*>(text.c_str()));
}

void show_scale(Widget scale, int value) {
  int minimum = 0;
  int maximum = 0;
  XtVaGetValues(scale, XmNminimum, &minimum, XmNmaximum, &maximum, nullptr);
  const int shown = std::clamp(value, minimum, maximum);
  int current = 0;
  XmScaleGetValue(scale, &current);
  if (current != shown) XmScaleSetValue(scale, shown);
}

int column_right_of(std::initializer_list<Widget> labels, int gap) {
  int width = 0;
  Dimension margin = 0;
  for (Widget label : labels) {
    XtWidgetGeometry preferred{};
    XtQueryGeometry(label, nullptr, &preferred);
    width = std::max(width, static_cast<int>(preferred.width));
    XtVaGetValues(XtParent(label), XmNmarginWidth, &margin, nullptr);
  }
  // An explicit offset from the form's edge replaces its margin, which the
  // labels keep.
  return margin + width + gap;
}

void manage_all(std::initializer_list<Widget> widgets) {
  for (Widget w : widgets) XtManageChild(w);
}

void on_window_close(Widget shell, XtCallbackProc callback) {
  Atom delete_window =
      XmInternAtom(XtDisplay(shell), const_cast<char*>("WM_DELETE_WINDOW"), False);
  XtVaSetValues(shell, XmNdeleteResponse, XmDO_NOTHING, nullptr);
  XmAddWMProtocolCallback(shell, delete_window, callback, nullptr);
}
