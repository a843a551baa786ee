#include "engine/mapping/grid_warning.h"

#include <algorithm>

#include "engine/automaton/automaton.h"
#include "engine/mapping/mapping.h"
#include "engine/report.h"

bool warn_if_grid_is_silent(const parameters_type& p) {
  const int n = blocks_per_side(std::min(p.noinstrm, max_instruments));
  if (n < 1 || (clamp_extent(p.x) >= n && clamp_extent(p.y) >= n)) return false;
  report_error(
      "Warning: the %d x %d grid is smaller than its %d x %d blocks (%d instruments); "
      "the render will be silent\n",
      p.x, p.y, n, n, p.noinstrm);
  return true;
}
