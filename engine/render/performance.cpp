#include "engine/render/performance.h"

#include <algorithm>
#include <cmath>

void add_performance_hooks(engine& e, const performance_hooks& hooks) {
  if (std::find(e.performers.begin(), e.performers.end(), &hooks) == e.performers.end())
    e.performers.push_back(&hooks);
}

void remove_performance_hooks(engine& e, const performance_hooks& hooks) {
  std::erase(e.performers, &hooks);
}

note_scaling key_scaling(int key, double velocity, double semitones) {
  return {static_cast<float>(std::exp2((key - 60 + semitones) / 12.0)),
          static_cast<float>(velocity / 127.0)};
}

bool performance_before_iteration(const engine& e) {
  bool reseed = false;
  for (const performance_hooks* hooks : e.performers)
    if (hooks->before_iteration && hooks->before_iteration()) reseed = true;
  return reseed;
}

const std::array<float, max_instruments>& scale_notes(
    const note_scaling& scaling, frequency_array& freq,
    const std::array<float, max_instruments>& instrm, int count,
    std::array<float, max_instruments>& scaled) {
  const int n = std::clamp(count, 0, max_instruments);
  if (scaling.frequency != 1.0f)
    for (int i = 0; i < n; ++i) freq[i] *= scaling.frequency;
  if (scaling.amplitude == 1.0f) return instrm;
  for (int i = 0; i < max_instruments; ++i) scaled[i] = instrm[i] * scaling.amplitude;
  return scaled;
}
