// Live play's audio module and JACK connection, chosen like any other
// setting of the windows: the command line and X resources, else the Audio
// menu's choice kept between runs.
#include <X11/Xresource.h>
#include <Xm/RowColumn.h>
#include <Xm/ToggleB.h>
#include <Xm/Xm.h>

#include <array>
#include <string>

#include "engine/report.h"
#include "ui/Xlive.h"
#include "ui/panel_menus.h"
#include "ui/settings.h"
#include "ui/widgets.h"

namespace {

struct live_resources {
  String rtaudio;
  Boolean connect;
  String sync;
};

XtResource resource_list[] = {
    {const_cast<char*>("rtaudio"), const_cast<char*>("Rtaudio"), XtRString, sizeof(String),
     XtOffsetOf(live_resources, rtaudio), XtRString, nullptr},
    {const_cast<char*>("connect"), const_cast<char*>("Connect"), XtRBoolean, sizeof(Boolean),
     XtOffsetOf(live_resources, connect), XtRImmediate, reinterpret_cast<XtPointer>(True)},
    {const_cast<char*>("sync"), const_cast<char*>("Sync"), XtRString, sizeof(String),
     XtOffsetOf(live_resources, sync), XtRString, nullptr},
};

constexpr const char* audio_setting = "audio";

struct audio_choice {
  const char* module;
  const char* label;
  char mnemonic;
};
constexpr std::array<audio_choice, 4> audio_choices{{{audio_automatic, "Automatic", 'A'},
                                                    {"jack", "JACK", 'J'},
                                                    {"pulse", "PulseAudio", 'P'},
                                                    {"alsa", "ALSA", 'L'}}};
std::array<Widget, audio_choices.size()> audio_entries{};

void show_audio_choice() {
  for (std::size_t i = 0; i < audio_choices.size(); ++i)
    XmToggleButtonSetState(audio_entries[i], Live_Settings.rtaudio == audio_choices[i].module,
                           False);
}

void cb_audio_choice(Widget, XtPointer client_data, XtPointer call_data) {
  // The menu keeps one choice set: the one left says nothing.
  if (!static_cast<XmToggleButtonCallbackStruct*>(call_data)->set) return;
  Live_Settings.rtaudio = static_cast<const char*>(client_data);
  write_setting(audio_setting, Live_Settings.rtaudio);
}

}  // namespace

void read_live_resources(Widget top) {
  live_resources values{};
  XtGetApplicationResources(top, &values, resource_list, XtNumber(resource_list), nullptr, 0);
  Live_Settings.rtaudio = values.rtaudio && *values.rtaudio != '\0'
                              ? std::string(values.rtaudio)
                              : read_setting(audio_setting, audio_automatic);
  Live_Settings.connect = values.connect != False;
  const std::string sync = values.sync ? values.sync : "";
  Live_Settings.sync = sync == "jack" ? live_sync::jack
                       : sync == "midi" ? live_sync::midi
                                        : live_sync::none;
  if (!sync.empty() && Live_Settings.sync == live_sync::none)
    report_error("zelmora: sync takes jack or midi, not \"%s\"; live play keeps its own time\n",
                 sync.c_str());
  show_audio_choice();
}

std::string live_module_for(const std::string& choice) {
  return choice == audio_automatic ? live_rtaudio_from_environment() : choice;
}

void build_audio_menu(Widget output_menu) {
  Widget menu = XmCreatePulldownMenu(output_menu, const_cast<char*>("audio_menu"), nullptr, 0);
  XtVaSetValues(menu, XmNradioBehavior, True, XmNradioAlwaysOne, True, nullptr);
  make_cascade(output_menu, "audio_button", "Audio", menu, 'u');
  for (std::size_t i = 0; i < audio_choices.size(); ++i) {
    const compound_string label = make_label(audio_choices[i].label);
    audio_entries[i] = XtVaCreateManagedWidget(
        audio_choices[i].module, xmToggleButtonWidgetClass, menu, XmNlabelString, label.get(),
        XmNindicatorType, XmONE_OF_MANY, XmNmnemonic, static_cast<KeySym>(audio_choices[i].mnemonic),
        nullptr);
    XtAddCallback(audio_entries[i], XmNvalueChangedCallback, cb_audio_choice,
                  const_cast<char*>(audio_choices[i].module));
  }
}
