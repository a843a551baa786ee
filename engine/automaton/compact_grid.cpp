// Byte grids: to and from int grids, and seeded as init_array() seeds.
#include "engine/automaton/compact_grid.h"

#include "engine/automaton/rand_stream.h"

bool compact_from_ints(const grid_type& from, compact_grid& to, int x, int y) {
  to.x = x;
  to.y = y;
  to.big = 0;
  bool have_big = false;
  for (int r = 0; r <= x + 1; ++r) {
    for (int c = 0; c <= y + 1; ++c) {
      const std::int32_t v = from[r][c];
      if (v < 0) return false;
      if (v >= big_cell) {
        if (have_big && v != to.big) return false;
        have_big = true;
        to.big = v;
        to.rows[r][c] = big_cell;
      } else {
        to.rows[r][c] = static_cast<std::uint8_t>(v);
      }
    }
  }
  return true;
}

void compact_to_ints(const compact_grid& from, grid_type& to) {
  for (int r = 0; r <= from.x + 1; ++r) {
    const std::uint8_t* cells = from.rows[r].data();
    std::int32_t* out = to[r].data();
    for (int c = 0; c <= from.y + 1; ++c) out[c] = cells[c];
    if (from.big != big_cell)
      for (int c = 0; c <= from.y + 1; ++c)
        if (cells[c] == big_cell) out[c] = from.big;
  }
}

void compact_seed(compact_grid& grid, int modulus, int x, int y, random_source& source) {
  grid.x = x;
  grid.y = y;
  grid.big = big_cell;
  if (x <= 0 || y <= 0) return;
  {
    rand_stream draws(source);
    for (int r = 1; r <= x; ++r) draws.draw(modulus, &grid.rows[r][1], y);
  }
  for (int r = 1; r <= x; ++r) wrap_columns(grid.rows[r].data(), y);
  wrap_rows(grid);
}
