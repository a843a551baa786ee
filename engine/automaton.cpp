#include "engine/automaton.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "engine/compact_grid.h"
#include "engine/numeric.h"
#include "engine/rand_stream.h"
#include "engine/step_kernels.h"

grid_type grid1;
grid_type grid2;
std::array<int, 2> coord;

namespace {

// A kept grid: its int cells, its bytes, and which of them are current
// (at least one always is).
struct kept_grid {
  grid_type* ints;
  compact_grid* bytes;
  bool ints_current = true;
  bool bytes_current = false;
};

compact_grid bytes1;
compact_grid bytes2;
std::array<kept_grid, 2> kept{{{&grid1, &bytes1}, {&grid2, &bytes2}}};
int render_scopes = 0;

kept_grid* kept_of(const grid_type& grid) {
  if (render_scopes == 0) return nullptr;
  for (kept_grid& k : kept)
    if (k.ints == &grid) return &k;
  return nullptr;
}

void bring_ints_up_to_date(kept_grid& k) {
  if (k.ints_current) return;
  compact_to_ints(*k.bytes, *k.ints);
  k.ints_current = true;
}

// Cells outside the extent the bytes are about to hold keep what the int
// grid has there, so that grid is written out first when the extent moves.
void prepare_bytes_write(kept_grid& k, int x, int y) {
  if (k.bytes->x != x || k.bytes->y != y) bring_ints_up_to_date(k);
}

void written_as_bytes(kept_grid& k) {
  k.bytes_current = true;
  k.ints_current = false;
}

void written_as_ints(kept_grid& k) {
  k.ints_current = true;
  k.bytes_current = false;
}

// The bytes for extent x, y, made from the int cells if need be.
bool bytes_usable(kept_grid& k, int x, int y) {
  if (x < 1 || y < 1) return false;
  if (k.bytes_current && k.bytes->x == x && k.bytes->y == y) return true;
  bring_ints_up_to_date(k);
  k.bytes_current = compact_from_ints(*k.ints, *k.bytes, x, y);
  return k.bytes_current;
}

}  // namespace

compact_render_scope::compact_render_scope() {
  if (render_scopes++ > 0) return;
  for (kept_grid& k : kept) written_as_ints(k);
}

compact_render_scope::~compact_render_scope() {
  if (--render_scopes > 0) return;
  for (kept_grid& k : kept) {
    bring_ints_up_to_date(k);
    written_as_ints(k);
  }
}

const grid_type& current_grid(const grid_type& grid) {
  if (kept_grid* k = kept_of(grid)) bring_ints_up_to_date(*k);
  return grid;
}

const compact_grid* compact_view(const grid_type& grid, int x, int y) {
  kept_grid* k = kept_of(grid);
  if (k == nullptr) return nullptr;
  if (k->bytes_current && k->bytes->x == clamp_extent(x) && k->bytes->y == clamp_extent(y))
    return k->bytes;
  bring_ints_up_to_date(*k);
  return nullptr;
}

void init_array(grid_type& grid, int Ns, int x, int y) {
  x = clamp_extent(x);
  y = clamp_extent(y);
  const int modulus = Ns < 1 ? 1 : Ns;
  kept_grid* k = kept_of(grid);
  if (k != nullptr && x >= 1 && y >= 1 && modulus <= big_cell) {
    prepare_bytes_write(*k, x, y);
    compact_seed(*k->bytes, modulus, x, y);
    written_as_bytes(*k);
    return;
  }
  if (k != nullptr) bring_ints_up_to_date(*k);
  {
    // Row by row, so the same random numbers land in the same cells each time.
    rand_stream draws;
    for (int r = 1; r <= x; ++r) draws.draw(modulus, &grid[r][1], y);
  }
  swap_boundaries(grid, x, y);
  if (k != nullptr) written_as_ints(*k);
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

namespace {

// The rule's tables change only when an event or a slider changes the
// parameters, so they are kept from one step to the next.
struct cached_rule {
  std::array<double, 3> reals{};
  int Ns = 0;
  bool valid = false;
  rule_table table;
  compact_rule bytes;
  bool bytes_valid = false;
};

const cached_rule& rule_for(double r1, double r2, double k, int Ns) {
  static cached_rule cache;
  const std::array<double, 3> reals{r1, r2, k};
  if (!cache.valid || cache.reals != reals || cache.Ns != Ns) {
    cache.table = make_rule_table(r1, r2, k, Ns);
    cache.bytes_valid = make_compact_rule(cache.table, cache.bytes);
    cache.reals = reals;
    cache.Ns = Ns;
    cache.valid = true;
  }
  return cache;
}

// A step between the two kept grids on their bytes, when the rule and the
// states allow it.
bool step_kept(const grid_type& from, grid_type& to, double r1, double r2, double k, int Ns,
               int x, int y) {
  kept_grid* source = kept_of(from);
  kept_grid* target = kept_of(to);
  if (source == nullptr || target == nullptr || source == target) return false;
  if (!fast_rule_applies(r1, r2, k, Ns)) return false;
  const cached_rule& rule = rule_for(r1, r2, k, Ns);
  if (!rule.bytes_valid || !bytes_usable(*source, x, y)) return false;
  prepare_bytes_write(*target, x, y);
  compact_step(*source->bytes, *target->bytes, rule.bytes);
  written_as_bytes(*target);
  coord = {x, y};
  return true;
}

}  // namespace

void step_grid(const grid_type& from, grid_type& to, double r1, double r2,
               double k, int Ns, int x, int y) {
  x = clamp_extent(x);
  y = clamp_extent(y);
  if (step_kept(from, to, r1, r2, k, Ns, x, y)) return;
  kept_grid* source = kept_of(from);
  kept_grid* target = kept_of(to);
  if (source != nullptr) bring_ints_up_to_date(*source);
  if (target != nullptr) bring_ints_up_to_date(*target);
  const bool stepped = fast_rule_applies(r1, r2, k, Ns) &&
                       step_interior(from, to, rule_for(r1, r2, k, Ns).table, x, y);
  if (stepped) {
    if (x > 0 && y > 0) coord = {x, y};  // where the cell-by-cell step leaves it
  } else {
    for (int i = 1; i <= x; ++i) {
      for (int j = 1; j <= y; ++j) {
        coord = {i, j};
        to[i][j] = update(from, coord, r1, r2, k, Ns);
      }
    }
  }
  swap_boundaries(to, x, y);
  if (target != nullptr) written_as_ints(*target);
}
