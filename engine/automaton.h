// The hodgepodge automaton: two fixed grids, random seeding, the wrapped
// border and the cell rule.
#pragma once

#include <array>

#include "engine/types.h"

extern grid_type grid1;
extern grid_type grid2;
extern std::array<int, 2> coord;  // row, column of the cell being stepped

// Seeds rows 1..x, columns 1..y with rand() % Ns, then wraps the border.
void init_array(grid_type& grid, int Ns, int x, int y);

// Copies the opposite interior edges into the border, columns first.
void swap_boundaries(grid_type& grid, int x, int y);

// Next state of the cell at `where`. A zero r1 or r2 has no meaning: the
// message is printed and 0 returned; the render driver checks beforehand.
int update(const grid_type& grid, const std::array<int, 2>& where, double r1,
           double r2, double k, int Ns);

// One whole step: every interior cell of `from` into `to`, then the border
// of `to`. Gives exactly what calling update() cell by cell gives.
void step_grid(const grid_type& from, grid_type& to, double r1, double r2,
               double k, int Ns, int x, int y);

// True when r1 and r2 can drive update(); prints "bad parameters to update"
// otherwise.
bool rule_parameters_usable(double r1, double r2);

// While a render runs, grid1 and grid2 are kept a byte a cell
// (compact_grid.h) and written out as ints only when something reads them:
// current_grid() gives either one up to date. When the scope ends both are
// up to date again. Other grids are always plain int grids.
class compact_render_scope {
 public:
  compact_render_scope();
  ~compact_render_scope();
  compact_render_scope(const compact_render_scope&) = delete;
  compact_render_scope& operator=(const compact_render_scope&) = delete;
};

// `grid` with every cell written out; for whatever shows or saves a grid
// during a render.
const grid_type& current_grid(const grid_type& grid);

// The bytes of a kept grid of extent x, y when they are current; otherwise
// null, and the int grid is up to date.
struct compact_grid;
const compact_grid* compact_view(const grid_type& grid, int x, int y);

// Keeps a grid extent inside the arrays.
constexpr int clamp_extent(int n) { return n < 0 ? 0 : (n > max_grid ? max_grid : n); }
