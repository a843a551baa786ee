#include "control/osc_notes.h"

#include <lo/lo.h>

#include <algorithm>

#include "control/control_apply.h"
#include "control/osc_server.h"
#include "engine/externs.h"
#include "engine/performance.h"

bool split_host_port(const std::string& target, std::string& host, std::string& port) {
  const auto colon = target.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  host = target.substr(0, colon);
  port = target.substr(colon + 1);
  return valid_port(port);
}

osc_note_sender::osc_note_sender(const std::string& target) {
  std::string host, port;
  if (!split_host_port(target, host, port)) {
    control_log("OSC target refused: %s is not HOST:PORT", target.c_str());
    return;
  }
  address_ = lo_address_new(host.c_str(), port.c_str());
  if (!address_) control_log("OSC target refused: %s", target.c_str());
}

osc_note_sender::~osc_note_sender() {
  if (address_) lo_address_free(static_cast<lo_address>(address_));
}

void osc_note_sender::send(int iteration, double start, const frequency_array& freq,
                           const std::array<float, max_instruments>& amplitudes, int count) const {
  if (!address_) return;
  const int n = std::clamp(count, 0, max_instruments);
  const auto to = static_cast<lo_address>(address_);
  lo_message notes = lo_message_new();
  lo_message_add_int32(notes, iteration);
  lo_message_add_float(notes, static_cast<float>(start));
  for (int i = 0; i < n; ++i) lo_message_add_float(notes, freq[i]);
  lo_send_message(to, "/zelmora/notes", notes);
  lo_message_free(notes);
  lo_message levels = lo_message_new();
  lo_message_add_int32(levels, iteration);
  for (int i = 0; i < n; ++i) lo_message_add_float(levels, amplitudes[i] * 10.0f);
  lo_send_message(to, "/zelmora/amplitudes", levels);
  lo_message_free(levels);
}

namespace {

std::unique_ptr<osc_note_sender> sender;

void send_iteration(int t, double start, const frequency_array& freq, int count) {
  // The amplitudes the score carries this iteration.
  std::array<float, max_instruments> played = Current_State.instrm;
  for (float& a : played) a *= Note_Scaling.amplitude;
  sender->send(t, start, freq, played, count);
}

}  // namespace

bool send_notes_to(const std::string& target) {
  Performance.notes = nullptr;
  sender.reset();
  if (target.empty()) return true;
  auto made = std::make_unique<osc_note_sender>(target);
  if (!made->ok()) return false;
  sender = std::move(made);
  Performance.notes = send_iteration;
  return true;
}
