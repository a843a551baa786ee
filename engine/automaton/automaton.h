// The hodgepodge automaton: two fixed grids, random seeding, the wrapped
// border and the cell rule.
#pragma once

#include <array>

#include "engine/automaton/random_source.h"
#include "engine/types.h"

// The default engine's grids and the cell it steps (engine.h).
extern grid_type grid1;
extern grid_type grid2;
extern std::array<int, 2>& coord;  // row, column of the cell being stepped

// Seeds rows 1..x, columns 1..y with rand() % Ns, then wraps the border.
void init_array(grid_type& grid, int Ns, int x, int y);
// The same with `source`'s numbers.
void init_array(grid_type& grid, int Ns, int x, int y, random_source& source);

// Copies the opposite interior edges into the border, columns first.
void swap_boundaries(grid_type& grid, int x, int y);

// Next state of the cell at `where`. A zero r1 or r2 has no meaning: the
// message is printed and 0 returned; the render driver checks beforehand.
int update(const grid_type& grid, const std::array<int, 2>& where, double r1,
           double r2, double k, int Ns);

// One whole step, cell by cell with update(): every interior cell of `from`
// into `to`, then the border of `to`; `cell` (coord unless given) names the
// cell being stepped. The render steps its byte grids with compact_step()
// where they can hold the states and the rule.
void step_grid(const grid_type& from, grid_type& to, double r1, double r2,
               double k, int Ns, int x, int y);
void step_grid(const grid_type& from, grid_type& to, double r1, double r2, double k, int Ns,
               int x, int y, std::array<int, 2>& cell);

// True when r1 and r2 can drive update(); prints "bad parameters to update"
// otherwise.
bool rule_parameters_usable(double r1, double r2);

// Keeps a grid extent inside the arrays.
constexpr int clamp_extent(int n) { return n < 0 ? 0 : (n > max_grid ? max_grid : n); }
