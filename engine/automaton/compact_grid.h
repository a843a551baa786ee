// The automaton a byte a cell: what the render steps and reduces, a quarter
// of the int grid's memory so a generation stays in the cache. States 0..254
// are kept as they are; 255 stands for `big`, the one larger state a grid
// can hold (an infected cell without infected neighbours takes trunc(k),
// uncapped). A grid or rule that does not fit (negative states, several
// large ones, Ns above 100) is rendered on int grids by the plain code of
// automaton.h and mapping.h instead. The step is compact_step.h; the
// reductions are the mapping's (compact_reduce.h).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "engine/automaton/random_source.h"
#include "engine/types.h"

// Room for whole vectors past the last border column.
constexpr int compact_stride = 1024 + 64;
constexpr std::uint8_t big_cell = 255;

struct compact_grid {
  alignas(64) std::array<std::array<std::uint8_t, compact_stride>, grid_side> rows{};
  int x = 0;  // the extent it holds, border included
  int y = 0;
  std::int32_t big = 0;  // the state big_cell stands for
};

// Past this many cells a kernel shares its rows with the second thread.
constexpr long long split_from_cells = 1 << 16;
inline bool worth_splitting(int x, int y) {
  return static_cast<long long>(x) * y >= split_from_cells;
}

inline void wrap_columns(std::uint8_t* row, int y) {
  row[0] = row[y];
  row[y + 1] = row[1];
}

// Whole rows after the columns, so each corner gets the opposite corner.
inline void wrap_rows(compact_grid& grid) {
  std::memcpy(grid.rows[0].data(), grid.rows[grid.x].data(), grid.y + 2);
  std::memcpy(grid.rows[grid.x + 1].data(), grid.rows[1].data(), grid.y + 2);
}

// Rows 0..x+1, columns 0..y+1 of int `from` (border included). False,
// leaving `to` unusable, when a state does not fit.
bool compact_from_ints(const grid_type& from, compact_grid& to, int x, int y);
// Rows 0..x+1, columns 0..y+1 of `to`, as the int step would have left them.
void compact_to_ints(const compact_grid& from, grid_type& to);

// init_array() into bytes, with `source`'s numbers; modulus 1..255.
void compact_seed(compact_grid& grid, int modulus, int x, int y, random_source& source);
