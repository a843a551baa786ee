#include "control/midi_input.h"

#include <RtMidi.h>

#include "control/jack_midi_bridge.h"
#include "control/control_log.h"
#include "engine/live/live_session.h"
#include "engine/live/midi_clock.h"

struct midi_input::impl {
  std::unique_ptr<RtMidiIn> port;           // the ALSA sequencer's
  std::unique_ptr<jack_midi_bridge> bridge;  // JACK's, in a process of its own
  control_queue* inbox = nullptr;
  bool failed = false;
};

namespace {

constexpr unsigned char note_on = 0x90;
constexpr unsigned char control_change_status = 0xB0;

void on_midi(double, std::vector<unsigned char>* message, void* data) {
  auto& input = *static_cast<midi_input::impl*>(data);
  if (!message) return;
  midi_input_clock().offer(message->data(), message->size(), live_now_ns());
  control_change change;
  if (midi_change(message->data(), message->size(), change)) input.inbox->push(std::move(change));
}

void on_midi_error(RtMidiError::Type type, const std::string& text, void* data) {
  const bool warning = type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING;
  if (!warning) static_cast<midi_input::impl*>(data)->failed = true;
  control_log("MIDI: %s", text.c_str());
}

}  // namespace

bool midi_change(const unsigned char* bytes, std::size_t size, control_change& change) {
  if (size < 3) return false;
  const int status = bytes[0] & 0xF0;
  const int channel = bytes[0] & 0x0F;
  if (status == note_on && bytes[2] > 0) {
    change = {control_kind::note, bytes[1] & 0x7F, static_cast<double>(bytes[2] & 0x7F), ""};
    return true;
  }
  if (status == control_change_status) {
    change = {control_kind::controller, channel * 128 + (bytes[1] & 0x7F),
              static_cast<double>(bytes[2] & 0x7F), ""};
    return true;
  }
  return false;
}

midi_input::midi_input(const std::string& system, control_queue& inbox)
    : impl_(std::make_unique<impl>()) {
  impl_->inbox = &inbox;
  if (system == "jack") {
    impl_->bridge = std::make_unique<jack_midi_bridge>(inbox);
    ok_ = impl_->bridge->ok();
  } else {
    open_sequencer_port();
  }
  if (!ok_) {
    control_log("no MIDI input through %s", system.c_str());
    impl_->port.reset();
    impl_->bridge.reset();
  }
}

void midi_input::open_sequencer_port() {
  try {
    impl_->port = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, "zelmora");
    impl_->port->setErrorCallback(on_midi_error, impl_.get());
    impl_->port->setCallback(on_midi, impl_.get());
    impl_->port->ignoreTypes(true, false, true);  // clock for --sync midi
    impl_->port->openVirtualPort("midi_in");
  } catch (const RtMidiError& error) {
    control_log("MIDI: %s", error.getMessage().c_str());
    impl_->failed = true;
  }
  ok_ = !impl_->failed;
}

midi_input::~midi_input() = default;
