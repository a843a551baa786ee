#include "ui/midi_learn.h"

#include <Xm/Form.h>
#include <Xm/Label.h>
#include <Xm/List.h>
#include <Xm/PushB.h>
#include <Xm/Scale.h>
#include <Xm/ToggleB.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <optional>
#include <string>

#include "control/bindings.h"
#include "control/control_apply.h"
#include "control/nsm_client.h"
#include "control/outside_control.h"
#include "control/udp_port.h"
#include "engine/live/live.h"
#include "engine/report.h"
#include "ui/Xamp.h"
#include "ui/Xctrl.h"
#include "ui/Xfreq.h"
#include "ui/Xlive.h"
#include "dsp/grain_design.h"
#include "engine/externs.h"
#include "engine/mapping/scales.h"
#include "ui/documents.h"
#include "ui/grain_window.h"
#include "ui/panel_menus.h"
#include "ui/placement.h"
#include "ui/startup.h"
#include "ui/widgets.h"
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
  if (effects.events) show_event_list();
  if (effects.frequencies) set_all_frequencies();
  if (effects.amplitudes) set_all_amplitudes();
  if (effects.grain) set_grain_window();
  if (effects.play) cb_play_live(nullptr, nullptr, nullptr);
  if (effects.stop) cb_stop_live(nullptr, nullptr, nullptr);
}

// At an iteration boundary inside a render: the widgets follow, but play
// and stop wait for the event loop, outside the render that is running.
void show_effects_in_render(const control_effects& effects) {
  control_effects now = effects;
  now.play = now.stop = false;
  show_effects(now);
  if (effects.play) control_inbox().push({control_kind::play, 0, 0.0, ""});
  if (effects.stop) control_inbox().push({control_kind::stop, 0, 0.0, ""});
}

void on_wake(XtPointer, int* fd, XtInputId*) {
  std::array<char, 64> bytes;
  while (::read(*fd, bytes.data(), bytes.size()) > 0) {
  }
  show_effects(apply_controls(live_playing()));
}

// MIDI learn: the control last moved and the controller last received
// while Learn is on; the two together make a binding.
std::optional<binding_target> moved;
std::optional<std::pair<int, int>> received;

// The control's value now, in the units its binding's range is given in.
double current_value(const binding_target& target) {
  const parameters_type& p = Current_State;
  const auto entry = [](const auto& entries, int i) {
    return static_cast<double>(entries[static_cast<std::size_t>(i)]);
  };
  switch (target.kind) {
    case control_kind::r1: return p.r1;
    case control_kind::r2: return p.r2;
    case control_kind::k: return p.k;
    case control_kind::grid_x: return p.x;
    case control_kind::grid_y: return p.y;
    case control_kind::state_position: return position_hertz(entry(p.states, target.index));
    case control_kind::instrument: return position_amplitude(entry(p.instrm, target.index));
    default: return grain_number(Grain_Design, grain_keys[target.index]);
  }
}

Widget bindings_list = nullptr;

void show_bindings() {
  if (!bindings_list) return;
  XmListDeleteAllItems(bindings_list);
  for (const binding& b : Bindings.all()) {
    const std::string line = "Channel " + std::to_string(b.channel) + ", controller " +
                             std::to_string(b.controller) + ": " + binding_line(b).substr(
                                 binding_line(b).find(' ', binding_line(b).find(' ') + 1) + 1);
    XmListAddItemUnselected(bindings_list, make_compound_string(line).get(), 0);
  }
}

void bind_if_both() {
  if (!moved || !received) return;
  const binding_range range = learned_range(*moved, current_value(*moved));
  Bindings.bind({received->first, received->second, *moved, range});
  control_log("MIDI controller %d on channel %d now moves %s", received->second, received->first,
              binding_line(Bindings.all().back()).c_str());
  write_bindings(bindings_file(), Bindings);
  moved.reset();
  received.reset();
  XmToggleButtonSetState(learn_toggle, False, False);
  show_bindings();
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

Widget midi_shell = nullptr;

// "Forget": the selected binding goes, and from the file.
void cb_forget(Widget, XtPointer, XtPointer) {
  int* positions = nullptr;
  int count = 0;
  if (!XmListGetSelectedPos(bindings_list, &positions, &count)) return;
  const int chosen = count > 0 ? positions[0] - 1 : -1;
  XtFree(reinterpret_cast<char*>(positions));
  if (chosen < 0 || chosen >= static_cast<int>(Bindings.all().size())) return;
  Bindings.unbind(Bindings.all()[static_cast<std::size_t>(chosen)].target);
  write_bindings(bindings_file(), Bindings);
  show_bindings();
}

void cb_close_midi(Widget, XtPointer, XtPointer) { XtPopdown(midi_shell); }

Widget midi_button(Widget form, const char* name, const char* text, XtCallbackProc callback) {
  Widget button = make_labelled(xmPushButtonWidgetClass, form, name, text);
  XtAddCallback(button, XmNactivateCallback, callback, nullptr);
  XtManageChild(button);
  return button;
}

// "Learn", what it does, the bindings, "Forget" and "Close".
void build_learn_window(Widget top) {
  midi_shell = XtVaCreatePopupShell("midi_learn", topLevelShellWidgetClass, top, XmNtitle,
                                    "MIDI", nullptr);
  on_window_close(midi_shell, cb_close_midi);
  Widget form = XtVaCreateWidget("midi_form", xmFormWidgetClass, midi_shell, XmNmarginWidth, 8,
                                 XmNmarginHeight, 8, nullptr);
  learn_toggle = XtVaCreateManagedWidget("Learn", xmToggleButtonWidgetClass, form,
                                         XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment,
                                         XmATTACH_FORM, nullptr);
  XtAddCallback(learn_toggle, XmNvalueChangedCallback, on_learn, nullptr);
  Widget hint = make_labelled(xmLabelWidgetClass, form, "learn_hint",
                              "Learn on, then move a slider or scale and turn a controller.");
  XtVaSetValues(hint, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, learn_toggle,
                XmNleftAttachment, XmATTACH_FORM, XmNalignment, XmALIGNMENT_BEGINNING, nullptr);
  XtManageChild(hint);
  Widget forget = midi_button(form, "forget_binding", "Forget", cb_forget);
  Widget close = midi_button(form, "close_midi", "Close", cb_close_midi);
  XtVaSetValues(forget, XmNbottomAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM,
                nullptr);
  XtVaSetValues(close, XmNbottomAttachment, XmATTACH_FORM, XmNrightAttachment, XmATTACH_FORM,
                nullptr);
  Arg args[2];
  XtSetArg(args[0], XmNvisibleItemCount, 8);
  XtSetArg(args[1], XmNlistSizePolicy, XmCONSTANT);
  bindings_list = XmCreateScrolledList(form, const_cast<char*>("bindings_list"), args, 2);
  XtVaSetValues(XtParent(bindings_list), XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, hint,
                XmNtopOffset, 6, XmNleftAttachment, XmATTACH_FORM, XmNrightAttachment,
                XmATTACH_FORM, XmNbottomAttachment, XmATTACH_WIDGET, XmNbottomWidget, forget,
                XmNbottomOffset, 6, nullptr);
  XtManageChild(bindings_list);
  XtManageChild(form);
  Controller_Catcher = catch_controller;
  watch_controls();
  show_bindings();
  XtSetSensitive(Panel_Menus.midi, True);
  cb_pop_midi(nullptr, nullptr, nullptr);
}

}  // namespace

void cb_pop_midi(Widget, XtPointer, XtPointer) {
  if (!midi_shell) return;
  XtPopup(midi_shell, XtGrabNone);
  static bool placed = false;  // the first time only; then where the user left it
  if (!placed) place_beside(midi_shell, Ctrl_pannel);
  placed = true;
}

void learn_from(Widget scale, const char* target) {
  XtAddCallback(scale, XmNvalueChangedCallback, on_control_moved, const_cast<char*>(target));
}

int start_outside_control_windows(Widget top) {
  control_resources wanted{};
  XtGetApplicationResources(top, &wanted, resources, XtNumber(resources), nullptr, 0);
  outside_control_settings settings{wanted.osc_port, wanted.osc_send, wanted.midi, "zelmora",
                                    true};
  const bool any = !settings.osc_port.empty() || !settings.osc_send.empty() ||
                   !settings.midi.empty() || std::getenv("NSM_URL");
  if (!any) return 0;
  std::string host, port;
  if ((!settings.osc_port.empty() && !split_listen_address(settings.osc_port, host, port)) ||
      (!settings.midi.empty() && !valid_midi_system(settings.midi))) {
    report_error("Bad outside control setting: oscPort %s (takes [ADDRESS:]PORT), midi %s (takes "
                 "alsa or jack)\n",
                 settings.osc_port.c_str(), settings.midi.c_str());
    return 2;
  }
  if (::pipe2(wake_pipe.data(), O_NONBLOCK | O_CLOEXEC) != 0) {
    report_error("Outside control could not be started: %s\n", std::strerror(errno));
    return 1;
  }
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
    return 1;
  }
  if (running.midi) build_learn_window(top);
  return 0;
}
