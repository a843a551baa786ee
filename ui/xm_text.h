// Small owners for the Motif values the editor and the file dialogs pass
// around: compound strings and the texts read back from text fields.
#pragma once

#include <Xm/Xm.h>
#include <Xm/Text.h>

#include <memory>
#include <string>
#include <type_traits>

struct xm_string_free {
  void operator()(XmString s) const { XmStringFree(s); }
};
using xm_string = std::unique_ptr<std::remove_pointer_t<XmString>, xm_string_free>;

// A compound string in the default character set.
inline xm_string make_xm_string(const std::string& text) {
  return xm_string(XmStringCreate(const_cast<char*>(text.c_str()),
                                  const_cast<char*>(XmFONTLIST_DEFAULT_TAG)));
}

// The whole text of a text field (XmText or XmTextField).
inline std::string text_of(Widget field) {
  char* text = XmTextGetString(field);
  std::string result = text ? text : "";
  XtFree(text);
  return result;
}
