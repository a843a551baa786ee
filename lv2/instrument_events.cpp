// run()'s events: MIDI, the host's time, the parameters' patch messages,
// and the notifications that answer them.
#include <lv2/atom/util.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "lv2/instrument.h"

namespace {

constexpr int highest_division = 64;
// A render waiting for the transport starts at no time the clock reaches.
constexpr double never = 1e18;

}  // namespace

// A note-on transposes and scales as the program's MIDI does; a controller
// moves what the user's bindings bind it to (on the worker).
void instrument::read_midi(const std::uint8_t* bytes, std::uint32_t size, work_request& request) {
  if (size < 3) return;
  const int kind = bytes[0] & 0xF0;
  if (kind == 0x90 && bytes[2] > 0) {  // a velocity of 0 is a note-off
    midi_.key = bytes[1] & 0x7F;
    midi_.velocity = bytes[2] & 0x7F;
  } else if (kind == 0xB0) {
    const controller_move move{static_cast<std::uint8_t>((bytes[0] & 0x0F) + 1),
                               static_cast<std::uint8_t>(bytes[1] & 0x7F),
                               static_cast<std::uint8_t>(bytes[2] & 0x7F)};
    // The latest value of a controller is what counts.
    auto* const end = request.move.begin() + request.moves;
    auto* const same = std::find_if(request.move.begin(), end, [&](const controller_move& m) {
      return m.channel == move.channel && m.controller == move.controller;
    });
    if (same != end)
      *same = move;
    else if (request.moves < work_request::max_moves)
      request.move[static_cast<std::size_t>(request.moves++)] = move;
  }
}

void instrument::read_position_event(const LV2_Atom_Object& object, std::int64_t offset) {
  const bool rolled = host_.rolling();
  read_position(uris_, object, host_);
  relocated_ = relocated_ || (rolled && host_.rolling() && host_.frame >= 0 &&
                              std::llabs(host_.frame - (expected_frame_ + offset)) > 1);
  expected_frame_ = host_.frame - offset;
  position_offset_ = static_cast<double>(offset);
}

// A file for a parameter: loaded on the worker, the path kept to tell.
void instrument::read_patch_set(const LV2_Atom_Object& object) {
  const LV2_Atom *property = nullptr, *value = nullptr;
  lv2_atom_object_get(&object, uris_.patch_property, &property, uris_.patch_value, &value, 0);
  if (!property || property->type != uris_.atom_URID || !value || value->type != uris_.atom_Path)
    return;
  const LV2_URID key = reinterpret_cast<const LV2_Atom_URID*>(property)->body;
  if (key != uris_.parameter_file && key != uris_.event_file) return;
  const std::size_t which = key == uris_.event_file ? 1 : 0;
  const auto* text = static_cast<const char*>(LV2_ATOM_BODY_CONST(value));
  const std::size_t length = strnlen(text, std::min<std::size_t>(value->size, max_path - 1));
  std::copy_n(text, length, paths_[which].begin());
  paths_[which][length] = '\0';
  work_request request;
  request.what = work_request::kind::load_file;
  request.generation = generation_.load();
  request.restart_at = restart_at_;
  request.events_file = which == 1;
  request.path_length = static_cast<std::uint32_t>(length);
  ask(request, text);
  path_asked_ = true;  // the host hears what it set
}

void instrument::read_events(work_request& request) {
  const auto* sequence = static_cast<const LV2_Atom_Sequence*>(ports_[port_control]);
  if (!sequence) return;
  LV2_ATOM_SEQUENCE_FOREACH(sequence, event) {
    const LV2_Atom& body = event->body;
    if (body.type == uris_.midi_Event) {
      read_midi(static_cast<const std::uint8_t*>(LV2_ATOM_BODY_CONST(&body)), body.size, request);
      continue;
    }
    if (!uris_.is_object(body)) continue;
    const auto& object = reinterpret_cast<const LV2_Atom_Object&>(body);
    if (object.body.otype == uris_.time_Position)
      read_position_event(object, event->time.frames);
    else if (object.body.otype == uris_.patch_Set)
      read_patch_set(object);
    else if (object.body.otype == uris_.patch_Get)
      path_asked_ = true;
  }
}

// The render of a new generation, starting at `time` on the voices'
// clock; the notes of the one before are dropped.
void instrument::restart_at(double time, work_request& request) {
  restart_at_ = time;
  request.generation = ++generation_;
  request.restart_at = time;
  requested_until_ = 0;
}

// Locked to the beat: the grain is the host's 1/N note, the render starts
// on the grid of those notes when the transport starts (or jumps) and
// stops with it. Unlocked, the render plays on whatever the host does.
void instrument::follow_host(work_request& request) {
  if (port(port_beat_lock) < 0.5f) {
    if (locked_ && !playing_) restart_at(feed_.now(), request);
    locked_ = false;
    playing_ = true;
    return;
  }
  const int division =
      std::clamp(static_cast<int>(std::lround(port(port_beat_division))), 1, highest_division);
  request.beat_grain = static_cast<float>(note_grain_seconds(host_, division));
  if (host_.rolling() && (!locked_ || !playing_ || relocated_))
    restart_at(feed_.now() + position_offset_ / rate_ + seconds_to_next_grain(host_, division),
               request);
  else if (!host_.rolling() && (!locked_ || playing_))
    restart_at(never, request);
  locked_ = true;
  playing_ = host_.rolling();
}

// The notify port's sequence for this block: the files set last, when
// the host asked or set one.
void instrument::write_notifications() {
  auto* sequence = static_cast<LV2_Atom_Sequence*>(ports_[port_notify]);
  if (!sequence) return;
  lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<std::uint8_t*>(sequence),
                            sequence->atom.size);
  LV2_Atom_Forge_Frame frame;
  if (!lv2_atom_forge_sequence_head(&forge_, &frame, 0)) return;
  const LV2_URID keys[2] = {uris_.parameter_file, uris_.event_file};
  for (std::size_t which = 0; path_asked_ && which < 2; ++which) {
    const char* path = paths_[which].data();
    if (*path == '\0') continue;
    LV2_Atom_Forge_Frame object;
    if (!lv2_atom_forge_frame_time(&forge_, 0) ||
        !lv2_atom_forge_object(&forge_, &object, 0, uris_.patch_Set))
      break;
    lv2_atom_forge_key(&forge_, uris_.patch_property);
    lv2_atom_forge_urid(&forge_, keys[which]);
    lv2_atom_forge_key(&forge_, uris_.patch_value);
    lv2_atom_forge_path(&forge_, path, static_cast<std::uint32_t>(std::strlen(path)));
    lv2_atom_forge_pop(&forge_, &object);
  }
  lv2_atom_forge_pop(&forge_, &frame);
  path_asked_ = false;
}
