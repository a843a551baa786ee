#include "engine/automaton/automaton.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "engine/numeric.h"
#include "engine/automaton/rand_stream.h"

grid_type grid1;
grid_type grid2;

void init_array(grid_type& grid, int Ns, int x, int y) {
  random_source library;
  init_array(grid, Ns, x, y, library);
}

void init_array(grid_type& grid, int Ns, int x, int y, random_source& source) {
  x = clamp_extent(x);
  y = clamp_extent(y);
  {
    // Row by row, so the same random numbers land in the same cells each time.
    rand_stream draws(source);
    for (int r = 1; r <= x; ++r) draws.draw(Ns < 1 ? 1 : Ns, &grid[r][1], y);
  }
  swap_boundaries(grid, x, y);
}

void swap_boundaries(grid_type& grid, int x, int y) {
  x = clamp_extent(x);
  y = clamp_extent(y);
  for (int r = 0; r <= x + 1; ++r) {
    grid[r][0] = grid[r][y];
    grid[r][y + 1] = grid[r][1];
  }
  // Whole rows after the columns, so each corner gets the opposite corner.
  std::copy_n(grid[x].begin(), y + 2, grid[0].begin());
  std::copy_n(grid[1].begin(), y + 2, grid[x + 1].begin());
}

bool rule_parameters_usable(double r1, double r2) {
  if (r1 == 0.0 || r2 == 0.0) {
    std::fputs("bad parameters to update", stderr);
    return false;
  }
  return true;
}

int update(const grid_type& grid, const std::array<int, 2>& where, double r1,
           double r2, double k, int Ns) {
  if (!rule_parameters_usable(r1, r2)) return 0;
  const int row = where[0];
  const int col = where[1];
  int ill = 0;
  int infected = 0;
  int sum = 0;
  for (int r = row - 1; r <= row + 1; ++r) {
    for (int c = col - 1; c <= col + 1; ++c) {
      if (r == row && c == col) continue;
      const int v = grid[r][c];
      if (v >= Ns - 1) {
        ++ill;
      } else if (v != 0) {
        ++infected;
        sum += v;
      }
    }
  }
  const int self = grid[row][col];
  if (self <= 0) {
    // Each quotient is truncated on its own before the two are added.
    const long long next =
        static_cast<long long>(trunc_to_int(infected / r1)) + trunc_to_int(ill / r2);
    return next >= Ns ? Ns - 1 : static_cast<int>(next);
  }
  if (self >= Ns - 1) return 0;
  if (infected > 0) {
    const int next = trunc_to_int(sum / infected + k);
    return next >= Ns ? Ns - 1 : next;
  }
  return trunc_to_int(k);  // deliberately uncapped
}

void step_grid(const grid_type& from, grid_type& to, double r1, double r2,
               double k, int Ns, int x, int y) {
  step_grid(from, to, r1, r2, k, Ns, x, y, coord);
}

void step_grid(const grid_type& from, grid_type& to, double r1, double r2, double k, int Ns,
               int x, int y, std::array<int, 2>& cell) {
  x = clamp_extent(x);
  y = clamp_extent(y);
  for (int i = 1; i <= x; ++i) {
    for (int j = 1; j <= y; ++j) {
      cell = {i, j};
      to[i][j] = update(from, cell, r1, r2, k, Ns);
    }
  }
  swap_boundaries(to, x, y);
}
