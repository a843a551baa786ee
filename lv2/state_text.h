// An instance's state as text: the parameter set exactly as a .csp file
// holds it, the event list exactly as a .cse file does. The host's session
// and the presets keep these texts; loading one takes it whole or not at
// all (a refused text is reported and changes nothing).
#pragma once

#include <string>
#include <string_view>

#include "dsp/grain_design.h"
#include "engine/engine.h"
#include "engine/types.h"

struct parameter_text_set {
  parameters_type params{};
  int mean_mode = 0;
  grain_design grain;
};

std::string parameter_text(const parameter_text_set& set);
// Reads into `set`, whose fields the text leaves out stay as they are.
bool read_parameter_text(std::string_view text, parameter_text_set& set);

// The engine's event list; empty text for no list.
std::string event_text(const engine& e);
// Replaces the engine's event list; blocks that leave a field out take the
// engine's current set's.
bool read_event_text(std::string_view text, engine& e);

// Sends the readers' and writers' echo lines nowhere: a plugin inside a
// host has no terminal of its own to talk to.
void silence_echo_lines();
