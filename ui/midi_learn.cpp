#include "ui/midi_learn.h"

#include <Xm/Form.h>
#include <Xm/Scale.h>
#include <Xm/ToggleB.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <string>

#include "control/bindings.h"
#include "control/control_apply.h"
#include "control/nsm_client.h"
#include "control/outside_control.h"
#include "engine/live/live.h"
#include "engine/report.h"
#include "ui/Xamp.h"
#include "ui/Xctrl.h"
#include "ui/Xfreq.h"
#include "ui/Xlive.h"
#include "ui/grain_window.h"
#include "ui/startup.h"
#include "control/control_log.h"

Widget learn_toggle = nullptr;

namespace {

struct control_resources {
  char* osc_port;
  char* osc_send;
  char* midi;
};

XtResource resources[] = {
    {const_cast<char*>("oscPort"), const_cast<char*>("OscPort"), XtRString, sizeof(char*),
     XtOffsetOf(control_resources, osc_port), XtRString, const_cast<char*>("")},
    {const_cast<char*>("oscSend"), const_cast<char*>("OscSend"), XtRString, sizeof(char*),
     XtOffsetOf(control_resources, osc_send), XtRString, const_cast<char*>("")},
    {const_cast<char*>("midi"), const_cast<char*>("Midi"), XtRString, sizeof(char*),
     XtOffsetOf(control_resources, midi), XtRString, const_cast<char*>("")},
};

std::array<int, 2> wake_pipe{-1, -1};

// The widgets follow whatever the changes touched.
void show_effects(const control_effects& effects) {
  if (effects.panel) set_control();
  if (effects.frequencies) set_all_frequencies();
  if (effects.amplitudes) set_all_amplitudes();
  if (effects.grain) set_grain_window();
  if (effects.play) cb_play_live(nullptr, nullptr, nullptr);
  if (effects.stop) cb_stop_live(nullptr, nullptr, nullptr);
}

// At an iteration boundary inside a render (live play's on the engine's
// thread): the widgets follow, but play and stop wait for the event loop,
// outside the render that is running.
void show_effects_in_render(const control_effects& effects) {
  if (effects.panel) set_control_anywhere();
  if (effects.frequencies) set_all_frequencies_anywhere();
  if (effects.amplitudes) set_all_amplitudes_anywhere();
  if (effects.grain) set_grain_window_anywhere();
  if (effects.play) control_inbox().push({control_kind::play, 0, 0.0, ""});
  if (effects.stop) control_inbox().push({control_kind::stop, 0, 0.0, ""});
}

void on_wake(XtPointer, int* fd, XtInputId*) {
  std::array<char, 64> bytes;
  while (::read(*fd, bytes.data(), bytes.size()) > 0) {
  }
  const std::lock_guard<std::recursive_timed_mutex> hold(windows_engine_lock());
  show_effects(apply_controls(live_playing()));
}

// MIDI learn: the control last moved and the controller last received
// while Learn is on; the two together make a binding.
std::optional<binding_target> moved;
std::optional<std::pair<int, int>> received;

void bind_if_both() {
  if (!moved || !received) return;
  Bindings.bind({received->first, received->second, *moved});
  control_log("MIDI controller %d on channel %d now moves %s", received->second, received->first,
              target_name(*moved).c_str());
  write_bindings(bindings_file(), Bindings);
  moved.reset();
  received.reset();
  XmToggleButtonSetState(learn_toggle, False, False);
}

bool learning() { return learn_toggle && XmToggleButtonGetState(learn_toggle); }

bool catch_controller(int channel, int controller, int) {
  if (!learning()) return false;
  received = {channel, controller};
  bind_if_both();
  return true;
}

void on_control_moved(Widget, XtPointer target, XtPointer) {
  if (!learning()) return;
  moved = parse_target(static_cast<const char*>(target));
  bind_if_both();
}

void on_learn(Widget, XtPointer, XtPointer) {
  moved.reset();
  received.reset();
}

// Every scale and slider reports its move to Learn.
void watch_controls() {
  static std::array<std::string, 2 * max_states> slider_names;
  for (const auto& [scale, name] : {std::pair(r1, "r1"), {r2, "r2"}, {k, "k"}, {x, "x"}, {y, "y"}})
    XtAddCallback(scale, XmNvalueChangedCallback, on_control_moved, const_cast<char*>(name));
  for (int i = 0; i < max_states; ++i) {
    slider_names[i] = "s" + std::to_string(i);
    slider_names[max_states + i] = "i" + std::to_string(i);
    XtAddCallback(state_sliders[i], XmNvalueChangedCallback, on_control_moved,
                  slider_names[i].data());
    XtAddCallback(instrument_sliders[i], XmNvalueChangedCallback, on_control_moved,
                  slider_names[max_states + i].data());
  }
}

void build_learn_window(Widget top) {
  Widget shell = XtVaCreatePopupShell("midi_learn", topLevelShellWidgetClass, top, XmNtitle,
                                      "MIDI", nullptr);
  Widget form = XtVaCreateManagedWidget("midi_form", xmFormWidgetClass, shell, nullptr);
  learn_toggle = XtVaCreateManagedWidget("Learn", xmToggleButtonWidgetClass, form, nullptr);
  XtAddCallback(learn_toggle, XmNvalueChangedCallback, on_learn, nullptr);
  XtPopup(shell, XtGrabNone);
  Controller_Catcher = catch_controller;
  watch_controls();
}

}  // namespace

void learn_from(Widget scale, const char* target) {
  XtAddCallback(scale, XmNvalueChangedCallback, on_control_moved, const_cast<char*>(target));
}

void start_outside_control_windows(Widget top) {
  control_resources wanted{};
  XtGetApplicationResources(top, &wanted, resources, XtNumber(resources), nullptr, 0);
  outside_control_settings settings{wanted.osc_port, wanted.osc_send, wanted.midi, "zelmora",
                                    true};
  const bool any = !settings.osc_port.empty() || !settings.osc_send.empty() ||
                   !settings.midi.empty() || std::getenv("NSM_URL");
  if (!any) return;
  if ((!settings.osc_port.empty() && !valid_port(settings.osc_port)) ||
      (!settings.midi.empty() && !valid_midi_system(settings.midi))) {
    report_error("Bad outside control setting: oscPort %s, midi %s\n", settings.osc_port.c_str(),
                 settings.midi.c_str());
    return;
  }
  if (::pipe2(wake_pipe.data(), O_NONBLOCK | O_CLOEXEC) != 0) return;
  control_inbox().set_wake([] {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(wake_pipe[1], &byte, 1);
  });
  XtAppAddInput(app_context, wake_pipe[0], reinterpret_cast<XtPointer>(XtInputReadMask), on_wake,
                nullptr);
  apply_controls_at_iterations(show_effects_in_render);
  // Made after the queue, so that at exit its threads stop before the
  // queue they feed is gone.
  static outside_control running;
  if (!start_outside_control(settings, running)) {
    report_error("Outside control could not be started (see the lines above)\n");
    return;
  }
  if (running.midi) build_learn_window(top);
}
