// A plain, literal model of the automaton and the grain mapping, cell by
// cell with an exp() per cell. The engine must agree with it bit for bit;
// the benchmarks time it beside the engine. Keep it slow and obvious.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/externs.h"
#include "engine/types.h"
#include "events/event_apply.h"

namespace reference {

// Toward zero; beyond int saturates, NaN gives 0.
inline long long truncate(double v) {
  return std::isnan(v) ? 0 : static_cast<long long>(std::clamp(v, -2147483648.0, 2147483647.0));
}

// Next state of the cell at (row, col).
inline int update(const grid_type& grid, int row, int col, double r1, double r2, double k,
                  int Ns) {
  int ill = 0, infected = 0, sum = 0;
  for (int r = row - 1; r <= row + 1; ++r)
    for (int c = col - 1; c <= col + 1; ++c) {
      const int v = grid[r][c];
      if (r == row && c == col) continue;
      if (v >= Ns - 1) {
        ++ill;
      } else if (v != 0) {
        ++infected;
        sum += v;
      }
    }
  const int self = grid[row][col];
  long long next = 0;
  if (self <= 0) {
    next = truncate(infected / r1) + truncate(ill / r2);
    if (next >= Ns) next = Ns - 1;
  } else if (self >= Ns - 1) {
    next = 0;
  } else if (infected > 0) {
    next = truncate(sum / infected + k);
    if (next >= Ns) next = Ns - 1;
  } else {
    next = truncate(k);
  }
  return static_cast<int>(next);
}

inline void swap_boundaries(grid_type& grid, int x, int y) {
  for (int r = 0; r <= x + 1; ++r) {
    grid[r][0] = grid[r][y];
    grid[r][y + 1] = grid[r][1];
  }
  for (int c = 0; c <= y + 1; ++c) {
    grid[0][c] = grid[x][c];
    grid[x + 1][c] = grid[1][c];
  }
}

inline void init_array(grid_type& grid, int Ns, int x, int y) {
  for (int r = 1; r <= x; ++r)
    for (int c = 1; c <= y; ++c) grid[r][c] = std::rand() % Ns;
  swap_boundaries(grid, x, y);
}

inline void step(const grid_type& from, grid_type& to, double r1, double r2, double k, int Ns,
                 int x, int y) {
  for (int i = 1; i <= x; ++i)
    for (int j = 1; j <= y; ++j) to[i][j] = update(from, i, j, r1, r2, k, Ns);
  swap_boundaries(to, x, y);
}

// The state whose 100-entry table entries a cell value uses.
inline int table_state(int v) { return std::clamp(v, 0, max_states - 1); }

inline float frequency(const std::array<float, max_states>& states, int v) {
  return static_cast<float>(std::exp(0.096 * static_cast<double>(states[table_state(v)])));
}

inline void av_freq(const grid_type& grid, std::array<float, max_instruments>& freq,
                    const std::array<float, max_states>& states, int noinstrm, int x, int y) {
  const int n = static_cast<int>(std::sqrt(static_cast<double>(noinstrm))), bx = x / n, by = y / n;
  for (int bi = 0; bi < n; ++bi)
    for (int bj = 0; bj < n; ++bj) {
      float sum = 0.0f;
      for (int r = bi * bx + 1; r <= bi * bx + bx; ++r)
        for (int c = bj * by + 1; c <= bj * by + by; ++c)
          sum = static_cast<float>(static_cast<double>(sum) + frequency(states, grid[r][c]));
      const int cells = bx * by;
      freq[bi * n + bj] = cells == 0 ? 0.0f : static_cast<float>(static_cast<double>(sum) / cells);
    }
}

inline void md_freq(const grid_type& grid, std::array<float, max_instruments>& freq,
                    const std::array<float, max_states>& states, int noinstrm, int x, int y) {
  const int n = static_cast<int>(std::sqrt(static_cast<double>(noinstrm))), bx = x / n, by = y / n;
  std::array<int, max_states> histogram{};
  for (int bi = 0; bi < n; ++bi)
    for (int bj = 0; bj < n; ++bj) {
      histogram.fill(0);
      for (int r = bi * bx + 1; r <= bi * bx + bx; ++r)
        for (int c = bj * by + 1; c <= bj * by + by; ++c) histogram[table_state(grid[r][c])]++;
      int mode = 0;
      for (int s = 0; s < max_states; ++s)
        if (histogram[s] > histogram[mode]) mode = s;
      freq[bi * n + bj] = frequency(states, mode);
    }
}

inline void write_notes(std::FILE* fp, const std::array<float, max_instruments>& freq,
                        const std::array<float, max_instruments>& instrm, int count,
                        double start, float dur) {
  for (int i = 0; i < count; ++i)
    std::fprintf(fp, "i%d %f %f %f %f\n", i + 1, start,
                 static_cast<double>(dur), 10.0 * static_cast<double>(instrm[i]),
                 static_cast<double>(freq[i]));
}

inline void writesound(std::FILE* fp, const std::array<float, max_instruments>& freq,
                       const std::array<float, max_instruments>& instrm, int count,
                       int iteration, float dur) {
  reference::write_notes(fp, freq, instrm, count, static_cast<double>(iteration) * dur, dur);
}

// A whole render following the event list; fp is left open. `meddle`, if
// given, runs where the engine hands the iteration to its sinks.
inline void render(std::FILE* fp, grid_type& a, grid_type& b, void (*meddle)(int) = nullptr) {
  Next_Event = Event_List.get();
  Interp_Flag = 0;
  reference::init_array(a, Current_State.Ns, Current_State.x, Current_State.y);
  std::fputs("f1 0 8192 10 1\nf2 0 8193 7 0.0001 8192 1.0\n", fp);
  const int iterations = Current_State.iter;
  std::array<float, max_instruments> freq{};
  double origin = 0.0;  // start times continue where the last duration left off
  int origin_t = 0;
  float last_dur = 0.0f;
  for (int t = 0; t < iterations; ++t) {
    grid_type& current = t % 2 == 0 ? a : b;
    grid_type& next = t % 2 == 0 ? b : a;
    Current_Iteration = t;
    update_parameters(current);
    const parameters_type& p = Current_State;
    (Mean_Mode != 0 ? md_freq : av_freq)(current, freq, p.states, p.noinstrm, p.x, p.y);
    if (t > 0 && p.dur != last_dur) {
      origin += (t - origin_t) * static_cast<double>(last_dur);
      origin_t = t;
    }
    last_dur = p.dur;
    const double start = origin + (t - origin_t) * static_cast<double>(p.dur);
    reference::write_notes(fp, freq, p.instrm, p.noinstrm, start, p.dur);
    if (meddle) meddle(t);
    reference::step(current, next, p.r1, p.r2, p.k, p.Ns, p.x, p.y);
  }
}

}  // namespace reference
