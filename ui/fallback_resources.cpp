#include "ui/fallback_resources.h"

#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <array>
#include <string>
#include <vector>

namespace {

// A calm light-grey scheme with dark text, white entry fields and a blue
// accent; geometry the window layouts leave open.
constexpr std::array<const char*, 16> look{
    "*background: #dcd9d2",
    "*foreground: #1d2126",
    "*highlightColor: #3b6ea8",
    "*selectColor: #3b6ea8",
    "*troughColor: #aab6c2",
    "*XmTextField.background: #fbfaf7",
    "*XmText.background: #fbfaf7",
    "*XmList.background: #fbfaf7",
    "*XmTextField.highlightThickness: 1",
    "*XmPushButton.marginHeight: 3",
    "*XmFrame.shadowType: SHADOW_ETCHED_IN",
    // The keyboard's focus shows as a frame around the slider it moves.
    "*XmScale.highlightThickness: 2",
    "*XmArrowButton.foreground: #3b6ea8",
    "*state_holder*XmScale.scaleHeight: 150",
    "*instrument_holder*XmScale.scaleHeight: 150",
    "*instrument_holder.spacing: 7",
};

constexpr const char* sans = "-*-helvetica-medium-r-normal--14-*-*-*-p-*-iso8859-1";
constexpr const char* sans_bold = "-*-helvetica-bold-r-normal--14-*-*-*-p-*-iso8859-1";
constexpr const char* sans_small = "-*-helvetica-medium-r-normal--12-*-*-*-p-*-iso8859-1";
// Every X server has it: the stand-in for a Helvetica it lacks.
constexpr const char* always_there = "fixed";

struct font_resource {
  const char* specifier;
  const char* font;
};

// Helvetica from the standard X font packages: bold for labels and menu
// titles, a smaller size for scale values and the compact event editor.
constexpr std::array<font_resource, 10> fonts{{
    {"*fontList", sans},
    {"*XmLabel.fontList", sans_bold},
    {"*XmLabelGadget.fontList", sans_bold},
    {"*XmCascadeButton.fontList", sans_bold},
    {"*XmScale.fontList", sans_small},
    {"*slider_number.fontList", sans_small},
    {"*XmTextField.fontList", sans},
    {"*XmText.fontList", sans},
    {"*XmList.fontList", sans},
    {"*event_form*fontList", sans_small},
}};

bool server_has_font(Display* display, const char* pattern) {
  int count = 0;
  char** names = XListFonts(display, pattern, 1, &count);
  if (names) XFreeFontNames(names);
  return count > 0;
}

}  // namespace

void install_fallback_resources(XtAppContext context) {
  // The toolkit keeps the pointers: the texts live as long as the program.
  static std::vector<std::string> lines;
  static std::vector<char*> list;
  lines.assign(look.begin(), look.end());
  for (const font_resource& f : fonts) lines.push_back(std::string(f.specifier) + ": " + f.font);
  list.clear();
  for (std::string& line : lines) list.push_back(line.data());
  list.push_back(nullptr);
  XtAppSetFallbackResources(context, list.data());
}

void use_fonts_the_server_has(Display* display) {
  XrmDatabase database = XtDatabase(display);
  for (const font_resource& f : fonts) {
    if (!server_has_font(display, f.font))
      XrmPutStringResource(&database, f.specifier, always_there);
  }
}
