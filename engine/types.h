// The records every subsystem shares: the parameter set, the automaton grid
// and the event list node.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "dsp/note.h"  // max_instruments: entries of `instrm`, largest `noinstrm`

// Capacities fixed by the file formats and the windows.
constexpr int max_states = 100;       // entries of `states`, largest `Ns`
constexpr int max_grid = 1000;        // largest `x` and `y`
constexpr int grid_side = max_grid + 2;  // interior plus a wrapped border
constexpr std::size_t max_name = 99;  // longest event name kept

// The parameter set: a plain value, copied as a whole.
struct parameters_type {
  float r1 = 0.0f;
  float r2 = 0.0f;
  float k = 0.0f;
  std::int32_t Ns = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::array<float, max_states> states{};  // positions: e^(0.096 * p) Hz
  float dur = 0.0f;
  std::int32_t iter = 0;
  std::array<float, max_instruments> instrm{};  // positions: amplitude 10 * p
  std::int32_t noinstrm = 0;

  friend bool operator==(const parameters_type&, const parameters_type&) = default;
};

// One generation of the automaton: rows first, border at 0 and x+1 / y+1.
using grid_row = std::array<std::int32_t, grid_side>;
using grid_type = std::array<grid_row, grid_side>;

// Event variants, by their `type` code.
constexpr int event_change = 1;   // the set becomes the current one
constexpr int event_interp = 2;   // glide towards the set until end_time
constexpr int event_special = 3;  // reseed the grid
constexpr int event_end = 4;      // end marker

// One node of the event list. The variants share one record; the fields a
// variant does not use stay empty (`params` is set for change and interp).
struct event_type {
  std::int32_t type = 0;
  std::int32_t time_stamp = 0;
  std::unique_ptr<event_type> next;
  std::string name;
  std::int32_t end_time = 0;                 // interpolation only
  std::unique_ptr<parameters_type> params;   // change and interpolation
  std::string spec;                          // special: unused text

  event_type() = default;
  event_type(const event_type&) = delete;
  event_type& operator=(const event_type&) = delete;
  // Unlink the tail one node at a time so a long list cannot exhaust the
  // stack through nested destructors.
  ~event_type() {
    while (next) next = std::move(next->next);
  }
};
