#include "dsp/wave_tables.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr std::size_t N = wave_table::size;
constexpr int most_harmonics = 1024;  // a saw at 21.5 Hz and 44.1 kHz has them all

// Harmonic counts a quarter octave apart: 1, 2, 3, 4, 5, 6, 7, 8, 10, ...
std::vector<int> harmonic_counts() {
  std::vector<int> counts;
  for (int j = 0;; ++j) {
    const int h = static_cast<int>(std::lround(std::exp2(j / 4.0)));
    if (h > most_harmonics) break;
    if (counts.empty() || counts.back() != h) counts.push_back(h);
  }
  return counts;
}

// Harmonic k's amplitude in each wave (0: none), scaled to the sine's RMS
// so that a change of wave keeps the loudness about where it was.
double amplitude(int wave, int k) {
  const double pi = std::numbers::pi;
  const double to_sine_rms = std::sqrt(1.5);  // triangle and saw: RMS 1/sqrt(3)
  switch (wave) {
    case 0:
      return k % 2 == 0 ? 0 : 8 / (pi * pi * k * k) * ((k / 2) % 2 == 0 ? 1 : -1) * to_sine_rms;
    case 1: return 2 / (pi * k) * (k % 2 == 0 ? -1 : 1) * to_sine_rms;
    default: return k % 2 == 0 ? 0 : 4 / (pi * k) * std::sqrt(0.5);  // square: RMS 1
  }
}

void set_guard(wave_table& t) { t.points[N] = t.points[0]; }

}  // namespace

band_limited_waves::band_limited_waves() : harmonics_(harmonic_counts()) {
  std::vector<double> sine(N);
  for (std::size_t n = 0; n < N; ++n) sine[n] = std::sin(2 * std::numbers::pi * n / N);
  tables_.resize(3 * harmonics_.size());
  for (int wave = 0; wave < 3; ++wave) {
    std::vector<double> sum(N, 0.0);
    int done = 0;
    for (std::size_t level = 0; level < harmonics_.size(); ++level) {
      // Each count adds its harmonics to the last one's.
      for (int k = done + 1; k <= harmonics_[level]; ++k) {
        const double a = amplitude(wave, k);
        if (a == 0) continue;
        for (std::size_t n = 0; n < N; ++n) sum[n] += a * sine[(static_cast<std::size_t>(k) * n) % N];
      }
      done = harmonics_[level];
      wave_table& t = tables_[static_cast<std::size_t>(wave) * harmonics_.size() + level];
      std::transform(sum.begin(), sum.end(), t.points.begin(),
                     [](double v) { return static_cast<float>(v); });
      set_guard(t);
    }
  }
}

const wave_table* band_limited_waves::table_for(grain_wave wave, double hz, double rate) const {
  if (wave == grain_wave::table || wave == grain_wave::sine) return nullptr;
  const int wave_index = static_cast<int>(wave) - static_cast<int>(grain_wave::triangle);
  // The most harmonics whose highest lies below Nyquist.
  const double allowed = rate / 2 / std::max(hz, 1e-9);
  std::size_t level = 0;
  while (level + 1 < harmonics_.size() && harmonics_[level + 1] < allowed) ++level;
  return &tables_[static_cast<std::size_t>(wave_index) * harmonics_.size() + level];
}

grain_shapes::grain_shapes() {
  const double pi = std::numbers::pi;
  const auto gauss = [](double x) { return std::exp(-0.5 * std::pow((x - 0.5) / 0.15, 2)); };
  // A short rise (a twentieth) and an exponential fall of 60 dB; a short
  // fade at the end takes it to 0.
  const auto expodec = [pi](double x) {
    const double rise = std::pow(std::sin(pi / 2 * std::min(x / 0.05, 1.0)), 2);
    const double fade = std::pow(std::cos(pi / 2 * std::max((x - 0.95) / 0.05, 0.0)), 2);
    return rise * std::exp(-6.9 * x) * fade;
  };
  for (std::size_t n = 0; n <= N; ++n) {
    const double x = static_cast<double>(n) / N;
    const double edge = gauss(0);
    shapes[0].points[n] = static_cast<float>((gauss(x) - edge) / (1 - edge));
    // Tukey: a quarter rising under sin^2, flat, a quarter falling.
    const double taper = std::min({x / 0.25, (1 - x) / 0.25, 1.0});
    shapes[1].points[n] = static_cast<float>(std::pow(std::sin(pi / 2 * taper), 2));
    shapes[2].points[n] = static_cast<float>(expodec(x));
    shapes[3].points[n] = static_cast<float>(expodec(1 - x));
  }
  for (std::size_t s = 0; s < shapes.size(); ++s) {
    double sum = 0;
    for (std::size_t n = 0; n < N; ++n) sum += shapes[s].points[n];
    means[s] = sum / N;
  }
}

const band_limited_waves& shared_waves() {
  static const band_limited_waves waves;
  return waves;
}

const grain_shapes& shared_shapes() {
  static const grain_shapes shapes;
  return shapes;
}

void score_table::take(const double* points, std::size_t count) {
  present = count >= 2;
  if (!present) return;
  sine = true;
  for (std::size_t n = 0; n < count && sine; ++n)
    sine = std::abs(points[n] - std::sin(2 * std::numbers::pi * n / count)) < 1e-9;
  for (std::size_t n = 0; n < N; ++n) {
    const double x = static_cast<double>(n) * count / N;
    const auto i = static_cast<std::size_t>(x);
    const double f = x - static_cast<double>(i);
    const double next = points[(i + 1) % count];
    table.points[n] = static_cast<float>(points[i] + f * (next - points[i]));
  }
  set_guard(table);
}
