// What run() and the worker say to each other. run() asks, through the
// host's worker, for the notes up to a time, with the controls as they
// stand; the worker answers through two lock-free rings that run() reads
// as the notes come due. Everything here is plain data of a fixed size.
#pragma once

#include <array>
#include <cstdint>

#include "dsp/grain_design.h"
#include "dsp/note.h"
#include "dsp/note_queue.h"
#include "engine/engine.h"

// The control ports that steer the automaton, in this order: r1, r2, k,
// grid x and y, the grain (seconds), the reduction (0 mean, 1 mode).
constexpr int steering_ports = 7;
using port_values = std::array<float, steering_ports>;

// A MIDI controller's move, for the bindings to give its meaning.
struct controller_move {
  std::uint8_t channel = 1;  // 1 ... 16
  std::uint8_t controller = 0;
  std::uint8_t value = 0;
};

struct work_request {
  static constexpr int max_moves = 32;
  enum class kind : std::uint32_t { compute, load_file };

  kind what = kind::compute;
  // Another generation than the worker's: the render restarts, its first
  // iteration at `restart_at` (seconds on the voices' clock).
  std::uint32_t generation = 0;
  double restart_at = 0;
  double until = 0;  // compute every iteration that starts before this
  std::uint32_t ports_changed = 0;  // a bit a port
  port_values ports{};
  float beat_grain = 0;  // seconds: the grain the host's tempo asks; 0 none
  note_scaling scaling;
  int moves = 0;
  std::array<controller_move, max_moves> move{};
  // load_file: a parameter set (.csp), or an event list (.cse) when
  // `events_file`; the path follows the request, `path_length` bytes
  // without a terminator.
  bool events_file = false;
  std::uint32_t path_length = 0;
};

// What the worker hands run(): the notes in the order they play, a mark
// where a restarted render's notes begin, and grain designs.
struct feed_item {
  enum class kind : std::uint8_t { note, restart };
  kind what = kind::note;
  std::uint32_t generation = 0;
  note n;
};

// Room for over half a second of the densest play (100 voices, 1 ms
// grains), twice the most that two long host blocks ask ahead.
using feed_ring = spsc_ring<feed_item, std::size_t{1} << 16>;
using design_ring = spsc_ring<grain_design, 16>;
