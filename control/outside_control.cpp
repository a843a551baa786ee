#include "control/outside_control.h"

#include <cstdlib>

#include "control/bindings.h"
#include "control/osc_notes.h"
#include "platform/interrupt.h"

bool valid_midi_system(const std::string& name) { return name == "alsa" || name == "jack"; }

bool start_outside_control(const outside_control_settings& settings, outside_control& control) {
  // The threads started here (the OSC and MIDI libraries') write to peers
  // that may go away.
  const broken_pipe_guard quiet_pipes;
  outside_control started;
  if (!settings.osc_port.empty()) {
    started.osc = std::make_unique<osc_server>(settings.osc_port, control_inbox());
    if (!started.osc->ok()) return false;
  }
  if (!send_notes_to(settings.osc_send)) return false;
  if (!settings.midi.empty()) {
    if (!read_bindings(bindings_file(), Bindings)) return false;
    started.midi = std::make_unique<midi_input>(settings.midi, control_inbox());
    if (!started.midi->ok()) return false;
  }
  if (const char* url = std::getenv("NSM_URL"); settings.session && url && *url) {
    started.session = std::make_unique<nsm_client>(url, settings.program, control_inbox());
    if (!started.session->ok()) return false;
  }
  control = std::move(started);
  return true;
}
