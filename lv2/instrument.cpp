#include "lv2/instrument.h"

#include <lv2/atom/util.h>
#include <lv2/options/options.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/render/performance.h"
#include "lv2/state_text.h"

namespace {

// The steering ports' ranges, as zelmora.ttl gives them; whole numbers
// are rounded.
struct port_range {
  unsigned port;
  float lowest, highest;
  bool whole;
};
constexpr port_range steering[steering_ports] = {
    {port_r1, 0.01f, 10.0f, false},    {port_r2, 0.01f, 10.0f, false},
    {port_k, 0.0f, 100.0f, false},     {port_grid_x, 0.0f, 1000.0f, true},
    {port_grid_y, 0.0f, 1000.0f, true}, {port_grain, 0.001f, 10.0f, false},
    {port_reduce, 0.0f, 1.0f, true}};
constexpr float transpose_limit = 48;  // semitones either way
constexpr float lowest_level = -60, highest_level = 12;  // dB

port_values values_of(const parameter_text_set& set) {
  return {set.params.r1, set.params.r2, set.params.k, static_cast<float>(set.params.x),
          static_cast<float>(set.params.y), set.params.dur, static_cast<float>(set.mean_mode)};
}

template <typename T>
T* feature(const LV2_Feature* const* features, const char* uri) {
  for (; features && *features; ++features)
    if (std::strcmp((*features)->URI, uri) == 0) return static_cast<T*>((*features)->data);
  return nullptr;
}

// The host's usual block: nominal, else the largest it promises.
std::uint32_t usual_block(const plugin_uris& uris, const LV2_Options_Option* options,
                          std::uint32_t fallback) {
  std::uint32_t nominal = 0, largest = 0;
  for (; options && options->key != 0; ++options) {
    if (options->type != uris.atom_Int || options->size != sizeof(std::int32_t)) continue;
    const auto value = *static_cast<const std::int32_t*>(options->value);
    if (value <= 0) continue;
    if (options->key == uris.bufsz_nominalBlockLength) nominal = static_cast<std::uint32_t>(value);
    if (options->key == uris.bufsz_maxBlockLength) largest = static_cast<std::uint32_t>(value);
  }
  return nominal ? nominal : largest ? std::min(largest, 8192u) : fallback;
}

}  // namespace

std::unique_ptr<instrument> instrument::make(double rate, const LV2_Feature* const* features) {
  auto* map = feature<LV2_URID_Map>(features, LV2_URID__map);
  if (!map || !(rate >= 1000)) return nullptr;
  return std::make_unique<instrument>(rate, *map, features);
}

instrument::instrument(double rate, LV2_URID_Map& map, const LV2_Feature* const* features)
    : uris_(map),
      rate_(rate),
      schedule_(feature<LV2_Worker_Schedule>(features, LV2_WORKER__schedule)),
      feed_(rate, notes_, designs_),
      source_(notes_, designs_) {
  silence_echo_lines();
  block_ = usual_block(uris_, feature<LV2_Options_Option>(features, LV2_OPTIONS__options), block_);
  lv2_atom_forge_init(&forge_, &map);
  seen_ = values_of(source_.start());
  resync_ = false;
  const std::lock_guard<std::mutex> hold(source_lock_);
  start_fresh();
}

void instrument::connect(std::uint32_t port, void* data) {
  if (port < port_count) ports_[port] = data;
}

float instrument::port(unsigned index) const {
  const auto* value = static_cast<const float*>(ports_[index]);
  return value && std::isfinite(*value) ? *value : 0.0f;
}

// How far the notes must be computed for the worker to have a whole block
// to deliver them in: this block, the next, and the periods the voices
// take notes ahead.
double instrument::ahead_until(std::uint32_t frames) const {
  return feed_.now() + (static_cast<double>(frames) + block_) / rate_ +
         (grain_player::periods_ahead + 1) * feed_.period_seconds();
}

void instrument::activate() {
  const std::lock_guard<std::mutex> hold(source_lock_);
  feed_.reset();
  for (feed_item item; notes_.pop(item);) {
  }
  for (grain_design design; designs_.pop(design);) {
  }
  locked_ = false;
  playing_ = true;
  start_fresh();
  ran_ = false;
}

void instrument::read_ports(work_request& request) {
  const bool resync = resync_.exchange(false);
  for (int p = 0; p < steering_ports; ++p) {
    const port_range& r = steering[p];
    float value = std::clamp(port(r.port), r.lowest, r.highest);
    if (r.whole) value = std::round(value);
    if (value != seen_[p] && !resync) request.ports_changed |= 1u << p;
    seen_[p] = value;
  }
  request.ports = seen_;
}

void instrument::ask(const work_request& request, const void* path) {
  std::array<std::uint8_t, sizeof(work_request) + max_path> message;
  std::memcpy(message.data(), &request, sizeof request);
  if (path) std::memcpy(message.data() + sizeof request, path, request.path_length);
  const auto size = static_cast<std::uint32_t>(sizeof request + request.path_length);
  if (schedule_)
    schedule_->schedule_work(schedule_->handle, size, message.data());
  else
    work(size, message.data());  // a host without a worker: not real-time safe
}

void instrument::run(std::uint32_t frames) {
  ran_.store(true);
  if (auto* latency = static_cast<float*>(ports_[port_latency]))
    *latency = static_cast<float>(feed_.latency_frames());
  block_ = std::max(block_, frames);
  relocated_ = false;
  position_offset_ = 0;
  work_request request;
  request.generation = generation_.load();
  request.restart_at = restart_at_;
  read_ports(request);
  read_events(request);
  const float transpose = std::clamp(port(port_transpose), -transpose_limit, transpose_limit);
  request.scaling = key_scaling(midi_.key, midi_.velocity, transpose);
  follow_host(request);
  request.until = playing_ ? ahead_until(frames) : requested_until_;
  const bool news = request.ports_changed != 0 || request.moves > 0 ||
                    request.generation != asked_.generation ||
                    request.scaling.frequency != asked_.scaling.frequency ||
                    request.scaling.amplitude != asked_.scaling.amplitude ||
                    request.beat_grain != asked_.beat_grain;
  if (news || request.until > requested_until_) {
    ask(request);
    asked_ = request;
    requested_until_ = std::max(requested_until_, request.until);
  }
  const float level = std::clamp(port(port_level), lowest_level, highest_level);
  const float gain = level == 0 ? 1.0f : static_cast<float>(std::pow(10.0, level / 20.0));
  feed_.render(static_cast<float*>(ports_[port_out_left]), static_cast<float*>(ports_[port_out_right]),
               frames, generation_.load(), gain_, gain);
  gain_ = gain;
  write_notifications();
  if (host_.rolling()) expected_frame_ += frames;
}

LV2_Worker_Status instrument::work(std::uint32_t size, const void* data) {
  if (size < sizeof(work_request)) return LV2_WORKER_ERR_UNKNOWN;
  work_request request;
  std::memcpy(&request, data, sizeof request);
  const std::lock_guard<std::mutex> hold(source_lock_);
  if (request.what == work_request::kind::compute) {
    source_.serve(request);
    return LV2_WORKER_SUCCESS;
  }
  if (size < sizeof request + request.path_length) return LV2_WORKER_ERR_UNKNOWN;
  const std::string path(static_cast<const char*>(data) + sizeof request, request.path_length);
  return load_file(path, request.events_file) ? LV2_WORKER_SUCCESS : LV2_WORKER_ERR_UNKNOWN;
}
