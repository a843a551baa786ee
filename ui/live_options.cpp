// Live play's audio module and JACK connection, chosen like any other
// setting of the windows: command line, X resources, else the environment.
#include <X11/Xresource.h>
#include <Xm/Xm.h>

#include <cstring>
#include <string>

#include "ui/Xlive.h"

const XrmOptionDescRec live_command_line_options[] = {
    {const_cast<char*>("-rtaudio"), const_cast<char*>("*rtaudio"), XrmoptionSepArg, nullptr},
    {const_cast<char*>("-noconnect"), const_cast<char*>("*connect"), XrmoptionNoArg,
     const_cast<char*>("False")},
};
const int live_command_line_option_count =
    static_cast<int>(sizeof live_command_line_options / sizeof live_command_line_options[0]);

namespace {

struct live_resources {
  String rtaudio;
  Boolean connect;
};

XtResource resource_list[] = {
    {const_cast<char*>("rtaudio"), const_cast<char*>("Rtaudio"), XtRString, sizeof(String),
     XtOffsetOf(live_resources, rtaudio), XtRString, nullptr},
    {const_cast<char*>("connect"), const_cast<char*>("Connect"), XtRBoolean, sizeof(Boolean),
     XtOffsetOf(live_resources, connect), XtRImmediate, reinterpret_cast<XtPointer>(True)},
};

}  // namespace

void read_live_resources(Widget top) {
  live_resources values{};
  XtGetApplicationResources(top, &values, resource_list, XtNumber(resource_list), nullptr, 0);
  Live_Settings.rtaudio = values.rtaudio && *values.rtaudio != '\0'
                              ? std::string(values.rtaudio)
                              : live_rtaudio_from_environment();
  Live_Settings.connect = values.connect != False;
}
