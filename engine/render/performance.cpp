#include "engine/render/performance.h"

#include <algorithm>

performance_hooks Performance;
note_scaling Note_Scaling;

bool performance_before_iteration() {
  return Performance.before_iteration && Performance.before_iteration();
}

const std::array<float, max_instruments>& scale_notes(
    frequency_array& freq, const std::array<float, max_instruments>& instrm, int count) {
  const int n = std::clamp(count, 0, max_instruments);
  if (Note_Scaling.frequency != 1.0f)
    for (int i = 0; i < n; ++i) freq[i] *= Note_Scaling.frequency;
  if (Note_Scaling.amplitude == 1.0f) return instrm;
  static std::array<float, max_instruments> scaled;
  for (int i = 0; i < max_instruments; ++i) scaled[i] = instrm[i] * Note_Scaling.amplitude;
  return scaled;
}
