// A small LV2 host of zelmora.lv2 on lilv, for the plugin's tests and its
// cost bench: urid:map, a worker whose requests are kept in run() and
// worked after it (as a host does between blocks), state as plain texts,
// presets, MIDI note-ons, and the time spent in run() and in the worker.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "lv2/uris.h"

// The bundle, loaded once, and the host's URIDs.
struct lv2_world {
  explicit lv2_world(const std::string& bundle);
  ~lv2_world();
  lv2_world(const lv2_world&) = delete;
  lv2_world& operator=(const lv2_world&) = delete;
  LV2_URID id(const char* uri) { return map.map(this, uri); }

  LilvWorld* lilv = lilv_world_new();
  const LilvPlugin* plugin = nullptr;  // null when the bundle has none
  std::vector<std::string> uris;
  LV2_URID_Map map{};
};

// A state's values by key: the plugin stores only texts.
using lv2_state_texts = std::map<LV2_URID, std::string>;

// True on the thread that is inside the plugin's run().
extern thread_local bool lv2_inside_run;

struct lv2_stereo {
  std::vector<float> left, right;
  std::size_t frames() const { return left.size(); }
};

class lv2_instance {
 public:
  static constexpr std::uint32_t longest_block = 4096;

  // Blocks of `block` frames (at most longest_block) at `rate`.
  lv2_instance(lv2_world& world, double rate, std::uint32_t block);
  ~lv2_instance();
  lv2_instance(const lv2_instance&) = delete;
  lv2_instance& operator=(const lv2_instance&) = delete;

  LV2_State_Status restore(const lv2_state_texts& texts);
  lv2_state_texts saved();
  void restore(const LilvState* preset);  // its state and its port values

  float& control(unsigned port) { return controls_[port]; }
  // The next block begins with this note-on, or with the host's transport
  // at this tempo rolling (speed 1) or standing (0) where the blocks are.
  void note_on(int key, int velocity);
  void transport(double beats_per_minute, double speed);

  void activate() { lilv_instance_activate(lilv_); }
  // One block of at most `frames`, appended to `out` unless `keep` is
  // false; the frames played.
  std::uint32_t play_block(std::size_t frames, bool keep = true);
  void play(std::size_t frames, bool keep = true);

  lv2_stereo out;
  double run_seconds = 0, work_seconds = 0;  // CPU time of this thread in each

 private:
  void write_control_events();
  void work_queued();
  static LV2_Worker_Status schedule(LV2_Worker_Schedule_Handle self, std::uint32_t size,
                                    const void* data);

  lv2_world& world_;
  std::uint32_t block_;
  LV2_Worker_Schedule schedule_{this, schedule};
  LV2_Feature map_feature_;
  LV2_Feature schedule_feature_{LV2_WORKER__schedule, &schedule_};
  std::array<const LV2_Feature*, 3> features_{&map_feature_, &schedule_feature_, nullptr};
  LilvInstance* lilv_ = nullptr;
  const LV2_Worker_Interface* worker_ = nullptr;
  const LV2_State_Interface* state_ = nullptr;
  std::array<float, port_count> controls_{};
  std::array<float, longest_block> left_{}, right_{};
  alignas(8) std::array<std::uint8_t, 4096> control_in_{}, notify_{};
  std::array<std::uint8_t, 1 << 16> queue_{};
  std::size_t queued_ = 0;
  std::array<std::uint8_t, 3> note_{};
  double rate_;
  double tempo_ = 0, speed_ = 0;  // a tempo of 0: no position to send
  std::int64_t played_ = 0;       // frames
  LV2_Atom_Forge forge_{};
};
