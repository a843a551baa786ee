// Real-to-int conversion as the engine does it everywhere: toward zero.
#pragma once

#include <cmath>
#include <limits>

// Truncates toward zero. Values that no int can hold (only reachable from
// nonsense parameters) saturate instead of being undefined; NaN gives 0.
inline int trunc_to_int(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}
