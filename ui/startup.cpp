#include "ui/startup.h"

#include <Xm/Xm.h>

#include <array>
#include <cstdio>
#include <string>

#include "engine/externs.h"
#include "engine/csound/orchestra.h"
#include "engine/engine.h"
#include "engine/view.h"
#include "ui/Xevent.h"
#include "ui/Xfiles.h"
#include "ui/Xamp.h"
#include "ui/Xctrl.h"
#include "ui/Xfreq.h"
#include "ui/error_dialog.h"
#include "ui/Xlive.h"
#include "ui/fallback_resources.h"
#include "ui/grain_window.h"
#include "ui/midi_learn.h"
#include "ui/presets.h"

// Exported by libXm but missing from its public headers.
extern "C" void XmRegisterConverters();

XtAppContext app_context;
Display* display;

namespace {

// The resource name of the program: the invocation name without its
// directory, since a name like "./zelmora" could never be matched by a
// line of a resource file.
std::string resource_name(const char* invocation) {
  const std::string name = invocation ? invocation : "zelmora";
  const std::string::size_type slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

void build_windows(const char* name, int argc, char** argv) {
  create_Ctrl_pannel(display, name, argc, argv);
  create_states(Ctrl_pannel);
  create_instruments(Ctrl_pannel);
  create_event_shell(Ctrl_pannel);
  create_load_e_files_shell(Ctrl_pannel);
  create_load_p_files_shell(Ctrl_pannel);
  create_save_e_files_shell(Ctrl_pannel);
  create_save_p_files_shell(Ctrl_pannel);
  create_save_s_files_shell(Ctrl_pannel);
  create_load_event_p_shell(Ctrl_pannel);
  create_csound_output_shell(Ctrl_pannel);
  create_automaton(Ctrl_pannel);
  create_grain(Ctrl_pannel);
  // These three hang off the windows built above.
  create_auto_set_freq_shell(states);
  create_auto_set_amp_shell(instruments);
  create_load_p_interp_shell(event_shell);
  // From here on a failure is shown in a dialog too.
  create_error_dialog(Ctrl_pannel);
}

class automaton_sink final : public iteration_sink {
  void on_iteration(const iteration& it) override { show_automaton_anywhere(it); }
};
automaton_sink automaton_view;

// The engine refreshes the windows through these while it renders, on
// whichever thread it renders.
const view_hooks windows_view{set_control_anywhere, set_all_frequencies_anywhere,
                              set_all_amplitudes_anywhere, show_counter_anywhere};

void connect_view() {
  add_view(default_engine(), windows_view);
  add_iteration_sink(automaton_view);
}

// The program's own options beside the toolkit's; each sets a resource.
std::array<XrmOptionDescRec, 6> command_line_options{{
    {const_cast<char*>("-rtaudio"), const_cast<char*>("*rtaudio"), XrmoptionSepArg, nullptr},
    {const_cast<char*>("-noconnect"), const_cast<char*>("*connect"), XrmoptionNoArg,
     const_cast<char*>("False")},
    {const_cast<char*>("-osc-port"), const_cast<char*>(".oscPort"), XrmoptionSepArg, nullptr},
    {const_cast<char*>("-osc-send"), const_cast<char*>(".oscSend"), XrmoptionSepArg, nullptr},
    {const_cast<char*>("-midi"), const_cast<char*>(".midi"), XrmoptionSepArg, nullptr},
    {const_cast<char*>("-sync"), const_cast<char*>("*sync"), XrmoptionSepArg, nullptr},
}};

}  // namespace

int build_interface(int& argc, char** argv) {
  XtToolkitInitialize();
  app_context = XtCreateApplicationContext();
  install_fallback_resources(app_context);

  const std::string name = resource_name(argv[0]);
  display = XtOpenDisplay(app_context, nullptr, name.c_str(), "XApplication",
                          command_line_options.data(),
                          static_cast<Cardinal>(command_line_options.size()), &argc, argv);
  if (!display) {
    std::printf("%s: can't open display, exiting...\n", argv[0]);
    std::fflush(stdout);
    return -1;
  }
  // What the toolkit left is no option of either.
  if (argc > 1) {
    std::fprintf(stderr, "%s: unknown option: %s\n", argv[0], argv[1]);
    std::fputs("Options: the toolkit's (-display, -geometry, -xrm, ...), -rtaudio MODULE, "
               "-noconnect, -osc-port [ADDR:]PORT, -osc-send HOST:PORT, -midi alsa|jack, "
               "-sync jack|midi\n",
               stderr);
    return 2;
  }

  use_fonts_the_server_has(display);
  XmRegisterConverters();
  XtAddConverter(XmRString, XmRUnitType, XmCvtStringToUnitType, nullptr, 0);
  systeminit();

  build_windows(name.c_str(), argc, argv);
  read_live_resources(Ctrl_pannel);
  XtRealizeWidget(Ctrl_pannel);
  connect_view();
  set_control();
  set_all_frequencies();
  set_all_amplitudes();
  check_orchestra();  // said now, not first when a sound command fails
  open_start_preset(Ctrl_pannel);
  if (const int status = start_outside_control_windows(Ctrl_pannel); status != 0) return status;
  // Return or Space plays at once: the first sound is one key away.
  XmProcessTraversal(play_button, XmTRAVERSE_CURRENT);
  return 0;
}
