// One LV2 instance of zelmora: an engine of its own computed ahead on the
// host's worker (grain_source), the voices and the Master played in run()
// (note_feed), and between them two lock-free rings. run() never
// allocates, locks, touches a file or calls the system: it reads its
// ports and events, asks the worker for the notes of the next blocks and
// plays the notes that have come due. The worker, activation, and the
// state's save and restore share the automaton's side under one lock that
// run() never takes.
#pragma once

#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "lv2/grain_source.h"
#include "lv2/host_time.h"
#include "lv2/note_feed.h"
#include "lv2/requests.h"
#include "lv2/uris.h"

class instrument {
 public:
  // Null when the host lacks urid:map, which the plugin requires.
  static std::unique_ptr<instrument> make(double rate, const LV2_Feature* const* features);
  instrument(double rate, LV2_URID_Map& map, const LV2_Feature* const* features);

  void connect(std::uint32_t port, void* data);
  void activate();
  void run(std::uint32_t frames);

  LV2_Worker_Status work(std::uint32_t size, const void* data);
  LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
  LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

 private:
  struct midi_state {
    int key = 60;
    int velocity = 127;
  };
  static constexpr std::size_t max_path = 1024;

  // run()'s parts (instrument.cpp, instrument_events.cpp).
  void read_ports(work_request& request);
  void read_events(work_request& request);
  void read_midi(const std::uint8_t* bytes, std::uint32_t size, work_request& request);
  void read_position_event(const LV2_Atom_Object& object, std::int64_t offset);
  void read_patch_set(const LV2_Atom_Object& object);
  void follow_host(work_request& request);
  void restart_at(double time, work_request& request);
  void write_notifications();
  void ask(const work_request& request, const void* path = nullptr);
  double ahead_until(std::uint32_t frames) const;
  float port(unsigned index) const;

  // The automaton's side, with source_lock_ held (instrument_state.cpp).
  void start_fresh();
  bool load_file(const std::string& path, bool events);

  plugin_uris uris_;
  double rate_;
  const LV2_Worker_Schedule* schedule_ = nullptr;
  std::array<void*, port_count> ports_{};
  std::uint32_t block_ = 1024;  // the host's usual block, for how far to compute ahead

  feed_ring notes_;
  design_ring designs_;
  note_feed feed_;
  std::mutex source_lock_;  // never taken in run()
  grain_source source_;

  // The render whose notes play: a restart makes a new generation. run()
  // makes them, and so do activation and a restore before any sound.
  std::atomic<std::uint32_t> generation_{0};
  std::atomic<bool> ran_{false};     // since activation
  std::atomic<bool> resync_{false};  // the ports' values become the last seen, unapplied

  // run()'s own.
  double restart_at_ = 0;        // where the render of this generation starts
  double requested_until_ = 0;   // the notes asked for so far end here
  work_request asked_;           // the last request
  port_values seen_{};
  midi_state midi_;
  float gain_ = 1;
  host_position host_;
  std::int64_t expected_frame_ = 0;  // of the transport, at this block's start
  double position_offset_ = 0;       // frames into the block of the last position
  bool relocated_ = false;           // the transport jumped in this block
  bool locked_ = false;   // to the host's beat, as of the last block
  bool playing_ = true;   // false while locked and the transport stands
  LV2_Atom_Forge forge_{};
  std::array<std::array<char, max_path>, 2> paths_{};  // the files set last
  bool path_asked_ = false;
};
