#include "control/osc_notes.h"

#include <lo/lo.h>

#include <chrono>
#include <memory>
#include <thread>

#include "control/osc_server.h"
#include "control/control_log.h"

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

namespace {

// A listener on the same machine takes what its socket's buffer holds, a
// few hundred messages: an offline render, which makes iterations far
// faster, is held to this pace (a burst of 100 at once), as live play is
// by its clock.
constexpr double iterations_per_second = 2000.0;
constexpr auto burst = std::chrono::milliseconds(50);

}  // namespace

void osc_note_sender::pace() {
  using clock = std::chrono::steady_clock;
  const auto now = clock::now();
  if (next_send_ < now - burst) next_send_ = now - burst;
  if (next_send_ > now) std::this_thread::sleep_until(next_send_);
  next_send_ += std::chrono::duration_cast<clock::duration>(
      std::chrono::duration<double>(1.0 / iterations_per_second));
}

void osc_note_sender::on_iteration(const iteration& it) {
  if (!address_) return;
  pace();
  const auto to = static_cast<lo_address>(address_);
  // The frequencies are the score's floats; single precision keeps them.
  lo_message notes = lo_message_new();
  lo_message_add_int32(notes, it.number);
  lo_message_add_float(notes, static_cast<float>(it.start));
  for (const note& n : it.notes) lo_message_add_float(notes, static_cast<float>(n.frequency));
  lo_send_message(to, "/zelmora/notes", notes);
  lo_message_free(notes);
  lo_message levels = lo_message_new();
  lo_message_add_int32(levels, it.number);
  for (const note& n : it.notes) lo_message_add_float(levels, static_cast<float>(n.amplitude));
  lo_send_message(to, "/zelmora/amplitudes", levels);
  lo_message_free(levels);
}

namespace {

std::unique_ptr<osc_note_sender> sender;

}  // namespace

bool send_notes_to(const std::string& target) {
  if (sender) remove_iteration_sink(*sender);
  sender.reset();
  if (target.empty()) return true;
  auto made = std::make_unique<osc_note_sender>(target);
  if (!made->ok()) return false;
  sender = std::move(made);
  add_iteration_sink(*sender);
  return true;
}
