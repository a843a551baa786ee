// The Motif text kit every window uses: compound strings with an owner,
// labels, and the text of text fields.
#pragma once

#include <Xm/Xm.h>

#include <memory>
#include <string>
#include <type_traits>

struct compound_string_free {
  void operator()(XmString s) const { XmStringFree(s); }
};
using compound_string = std::unique_ptr<std::remove_pointer_t<XmString>, compound_string_free>;

// A label text; a "\n" in it starts a new line.
compound_string make_label(const char* text);

// A text taken as it is, in one segment: a list item, a file pattern.
compound_string make_compound_string(const std::string& text);

// Sets a widget's label string.
void set_label(Widget w, const char* text);

// A widget of `widget_class` (a label, a button) named `name`, showing
// `text`, not yet managed.
Widget make_labelled(WidgetClass widget_class, Widget parent, const char* name,
                     const char* text);

// The whole text of a text field (XmText or XmTextField).
std::string field_text(Widget field);

// Puts text into a field unless it already holds exactly that: a refresh
// that changes nothing costs nothing, which matters while a render
// refreshes the windows at every iteration.
void show_text(Widget field, const std::string& text);
