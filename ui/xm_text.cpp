#include "ui/xm_text.h"

#include <Xm/Text.h>

compound_string make_label(const char* text) {
  return compound_string(
      XmStringCreateLtoR(const_cast<char*>(text), const_cast<char*>(XmFONTLIST_DEFAULT_TAG)));
}

compound_string make_compound_string(const std::string& text) {
  return compound_string(XmStringCreate(const_cast<char*>(text.c_str()),
                                        const_cast<char*>(XmFONTLIST_DEFAULT_TAG)));
}

void set_label(Widget w, const char* text) {
  const compound_string label = make_label(text);
  XtVaSetValues(w, XmNlabelString, label.get(), nullptr);
}

Widget make_labelled(WidgetClass widget_class, Widget parent, const char* name,
                     const char* text) {
  const compound_string label = make_label(text);
  return XtVaCreateWidget(name, widget_class, parent, XmNlabelString, label.get(), nullptr);
}

std::string field_text(Widget field) {
  char* text = XmTextGetString(field);
  std::string result = text ? text : "";
  XtFree(text);
  return result;
}

void show_text(Widget field, const std::string& text) {
  if (field_text(field) == text) return;
  XmTextSetString(field, const_cast<char*>(text.c_str()));
}
