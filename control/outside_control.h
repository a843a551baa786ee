// What a program starts for outside control, as its options ask: the OSC
// server, OSC out, the MIDI input with its bindings, and the session
// manager's client when NSM_URL is set (the windowed program only: a
// renderer started inside a session is no client of it).
#pragma once

#include <memory>
#include <string>

#include "control/midi_input.h"
#include "control/nsm_client.h"
#include "control/osc_server.h"

struct outside_control_settings {
  std::string osc_port;  // empty: no OSC server
  std::string osc_send;  // HOST:PORT, empty: no OSC out
  std::string midi;      // "alsa", "jack" or empty
  std::string program;   // the executable's name, for the session manager
  bool session = false;  // join the session manager NSM_URL names, if set
};

struct outside_control {
  std::unique_ptr<osc_server> osc;
  std::unique_ptr<midi_input> midi;
  std::unique_ptr<nsm_client> session;
};

// Starts each part the settings ask for; false (reported) when one fails,
// with nothing left running.
bool start_outside_control(const outside_control_settings& settings, outside_control& control);

// "alsa" or "jack".
bool valid_midi_system(const std::string& name);
