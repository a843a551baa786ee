#include "bench/lv2_host.h"

#include <lv2/midi/midi.h>
#include <lv2/time/time.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

thread_local bool lv2_inside_run = false;

namespace {

double thread_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

LV2_URID map_uri(LV2_URID_Map_Handle self, const char* uri) {
  auto& uris = static_cast<lv2_world*>(self)->uris;
  const auto found = std::find(uris.begin(), uris.end(), uri);
  if (found != uris.end()) return static_cast<LV2_URID>(found - uris.begin() + 1);
  uris.emplace_back(uri);
  return static_cast<LV2_URID>(uris.size());
}

}  // namespace

lv2_world::lv2_world(const std::string& bundle) {
  map = {this, map_uri};
  LilvNode* bundle_uri = lilv_new_file_uri(lilv, nullptr, (bundle + "/").c_str());
  lilv_world_load_bundle(lilv, bundle_uri);
  lilv_node_free(bundle_uri);
  LilvNode* uri = lilv_new_uri(lilv, ZELMORA_LV2_URI);
  plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(lilv), uri);
  lilv_node_free(uri);
}

lv2_world::~lv2_world() { lilv_world_free(lilv); }

lv2_instance::lv2_instance(lv2_world& world, double rate, std::uint32_t block)
    : world_(world),
      block_(std::min(block, longest_block)),
      map_feature_{LV2_URID__map, &world.map},
      rate_(rate) {
  if (!world.plugin) throw std::runtime_error("no zelmora.lv2 in the bundle");
  lilv_ = lilv_plugin_instantiate(world.plugin, rate, features_.data());
  if (!lilv_) throw std::runtime_error("zelmora.lv2 refused to instantiate");
  std::vector<float> defaults(lilv_plugin_get_num_ports(world.plugin));
  lilv_plugin_get_port_ranges_float(world.plugin, nullptr, nullptr, defaults.data());
  for (unsigned p = port_r1; p < port_count; ++p) {
    controls_[p] = defaults[p];
    lilv_instance_connect_port(lilv_, p, &controls_[p]);
  }
  lilv_instance_connect_port(lilv_, port_out_left, left_.data());
  lilv_instance_connect_port(lilv_, port_out_right, right_.data());
  lilv_instance_connect_port(lilv_, port_control, control_in_.data());
  lilv_instance_connect_port(lilv_, port_notify, notify_.data());
  worker_ = static_cast<const LV2_Worker_Interface*>(
      lilv_instance_get_extension_data(lilv_, LV2_WORKER__interface));
  state_ = static_cast<const LV2_State_Interface*>(
      lilv_instance_get_extension_data(lilv_, LV2_STATE__interface));
  lv2_atom_forge_init(&forge_, &world.map);
}

lv2_instance::~lv2_instance() { lilv_instance_free(lilv_); }

LV2_State_Status lv2_instance::restore(const lv2_state_texts& texts) {
  const auto retrieve = [](LV2_State_Handle handle, std::uint32_t key, std::size_t* size,
                           std::uint32_t* type, std::uint32_t* flags) -> const void* {
    const auto& [self, values] = *static_cast<std::pair<lv2_instance*, const lv2_state_texts*>*>(handle);
    const auto found = values->find(key);
    if (found == values->end()) return nullptr;
    *size = found->second.size() + 1;
    *type = self->world_.id(LV2_ATOM__String);
    *flags = LV2_STATE_IS_POD;
    return found->second.c_str();
  };
  std::pair<lv2_instance*, const lv2_state_texts*> handle{this, &texts};
  return state_->restore(lilv_instance_get_handle(lilv_), retrieve, &handle, 0, nullptr);
}

lv2_state_texts lv2_instance::saved() {
  const auto store = [](LV2_State_Handle handle, std::uint32_t key, const void* value,
                        std::size_t size, std::uint32_t, std::uint32_t) {
    (*static_cast<lv2_state_texts*>(handle))[key] =
        std::string(static_cast<const char*>(value), size > 0 ? size - 1 : 0);
    return LV2_STATE_SUCCESS;
  };
  lv2_state_texts texts;
  if (state_->save(lilv_instance_get_handle(lilv_), store, &texts, 0, nullptr) != LV2_STATE_SUCCESS)
    texts.clear();
  return texts;
}

void lv2_instance::restore(const LilvState* preset) {
  const auto set_port = [](const char* symbol, void* handle, const void* value, std::uint32_t size,
                           std::uint32_t) {
    auto& self = *static_cast<lv2_instance*>(handle);
    LilvNode* name = lilv_new_string(self.world_.lilv, symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(self.world_.plugin, name);
    lilv_node_free(name);
    if (port && size == sizeof(float))
      self.controls_[lilv_port_get_index(self.world_.plugin, port)] = *static_cast<const float*>(value);
  };
  lilv_state_restore(preset, lilv_, set_port, this, 0, nullptr);
}

void lv2_instance::note_on(int key, int velocity) {
  note_ = {LV2_MIDI_MSG_NOTE_ON, static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(velocity)};
}

void lv2_instance::transport(double beats_per_minute, double speed) {
  tempo_ = beats_per_minute;
  speed_ = speed;
}

LV2_Worker_Status lv2_instance::schedule(LV2_Worker_Schedule_Handle handle, std::uint32_t size,
                                         const void* data) {
  auto& self = *static_cast<lv2_instance*>(handle);
  if (self.queued_ + sizeof size + size > self.queue_.size()) return LV2_WORKER_ERR_NO_SPACE;
  std::memcpy(self.queue_.data() + self.queued_, &size, sizeof size);
  std::memcpy(self.queue_.data() + self.queued_ + sizeof size, data, size);
  self.queued_ += sizeof size + size;
  return LV2_WORKER_SUCCESS;
}

void lv2_instance::work_queued() {
  for (std::size_t at = 0; at < queued_;) {
    std::uint32_t size = 0;
    std::memcpy(&size, queue_.data() + at, sizeof size);
    worker_->work(lilv_instance_get_handle(lilv_), nullptr, nullptr, size,
                  queue_.data() + at + sizeof size);
    at += sizeof size + size;
  }
  queued_ = 0;
}

void lv2_instance::write_control_events() {
  lv2_atom_forge_set_buffer(&forge_, control_in_.data(), control_in_.size());
  LV2_Atom_Forge_Frame frame;
  lv2_atom_forge_sequence_head(&forge_, &frame, 0);
  if (note_[0] != 0) {
    lv2_atom_forge_frame_time(&forge_, 0);
    lv2_atom_forge_atom(&forge_, note_.size(), world_.id(LV2_MIDI__MidiEvent));
    lv2_atom_forge_write(&forge_, note_.data(), note_.size());
    note_[0] = 0;
  }
  if (tempo_ > 0) {
    const auto id = [this](const char* uri) { return world_.id(uri); };
    const double beats = static_cast<double>(played_) / rate_ * tempo_ / 60;
    LV2_Atom_Forge_Frame position;
    lv2_atom_forge_frame_time(&forge_, 0);
    lv2_atom_forge_object(&forge_, &position, 0, id(LV2_TIME__Position));
    lv2_atom_forge_key(&forge_, id(LV2_TIME__frame));
    lv2_atom_forge_long(&forge_, played_);
    lv2_atom_forge_key(&forge_, id(LV2_TIME__speed));
    lv2_atom_forge_float(&forge_, static_cast<float>(speed_));
    lv2_atom_forge_key(&forge_, id(LV2_TIME__beatsPerMinute));
    lv2_atom_forge_float(&forge_, static_cast<float>(tempo_));
    lv2_atom_forge_key(&forge_, id(LV2_TIME__barBeat));
    lv2_atom_forge_float(&forge_, static_cast<float>(std::fmod(beats, 4.0)));
    lv2_atom_forge_pop(&forge_, &position);
    tempo_ = 0;
  }
  lv2_atom_forge_pop(&forge_, &frame);
  reinterpret_cast<LV2_Atom*>(notify_.data())->size = notify_.size() - sizeof(LV2_Atom);
}

std::uint32_t lv2_instance::play_block(std::size_t frames, bool keep) {
  const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(frames, block_));
  write_control_events();
  const double start = thread_seconds();
  lv2_inside_run = true;
  lilv_instance_run(lilv_, n);
  lv2_inside_run = false;
  played_ += n;
  const double ran = thread_seconds();
  work_queued();
  run_seconds += ran - start;
  work_seconds += thread_seconds() - ran;
  if (keep) {
    out.left.insert(out.left.end(), left_.begin(), left_.begin() + n);
    out.right.insert(out.right.end(), right_.begin(), right_.begin() + n);
  }
  return n;
}

void lv2_instance::play(std::size_t frames, bool keep) {
  while (frames > 0) frames -= play_block(frames, keep);
}
