// The grain voices' samples: each grain's window lines, as phasors or
// tables, added into the block.
#include "dsp/grain_voices.h"

#include "platform/avx2.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

struct phasor {
  double re, im;
  phasor operator*(phasor o) const { return {re * o.re - im * o.im, re * o.im + im * o.re}; }
};

// N doubles as the compiler's vectors.
template <int N>
struct lane_vector;
template <>
struct lane_vector<2> {
  typedef double type __attribute__((vector_size(2 * sizeof(double))));
};
template <>
struct lane_vector<4> {
  typedef double type __attribute__((vector_size(4 * sizeof(double))));
};

// sin(pi/2 s) for s in [0, 1], within 4e-9: the equal-power window of a
// cross-fade across a jump of pitch, sin(pi/2 sin^2) rising and its mirror
// falling, computed on the sin^2 line's own value.
template <typename T>
[[gnu::always_inline]] inline void to_power_window(T& s) {
  const T s2 = s * s;
  s = s * (1.5707962972813232 +
           s2 * (-0.6459634394368386 +
                 s2 * (0.07968873777192029 +
                       s2 * (-0.004672547905693238 + s2 * 0.00015095599910984873))));
}

double power_window(double s) {
  to_power_window(s);
  return s;
}

// One window line's samples added into l and r: the wave's imaginary part
// times 0.5 + half * the window phasor's real part (or its equal-power
// window), both phasors rotated once a sample. N lanes hold N consecutive
// samples, their phasors rotated N steps at a time, which keeps the vector
// unit busy; the rest one by one. Returns how many samples were done.
template <int N, bool Power>
[[gnu::always_inline]] inline std::int64_t add_lanes(double* l, double* r, std::int64_t count,
                                                     phasor& wave, phasor& win, phasor wave_step,
                                                     phasor win_step, double half, double gl,
                                                     double gr) {
  using lanes = typename lane_vector<N>::type;
  lanes wr, wi, ur, ui;
  phasor w = wave, u = win, ws{1, 0}, us{1, 0};
  for (int j = 0; j < N; ++j) {
    wr[j] = w.re, wi[j] = w.im, ur[j] = u.re, ui[j] = u.im;
    w = w * wave_step;
    u = u * win_step;
    ws = ws * wave_step;
    us = us * win_step;
  }
  std::int64_t k = 0;
  for (; k + N <= count; k += N) {
    lanes w = 0.5 + half * ur;
    if constexpr (Power) to_power_window(w);
    const lanes v = wi * w;
    lanes lv, rv;
    std::memcpy(&lv, l + k, sizeof lv);
    std::memcpy(&rv, r + k, sizeof rv);
    lv += gl * v;
    rv += gr * v;
    std::memcpy(l + k, &lv, sizeof lv);
    std::memcpy(r + k, &rv, sizeof rv);
    const lanes nwr = wr * ws.re - wi * ws.im;
    wi = wr * ws.im + wi * ws.re;
    wr = nwr;
    const lanes nur = ur * us.re - ui * us.im;
    ui = ur * us.im + ui * us.re;
    ur = nur;
  }
  wave = {wr[0], wi[0]};
  win = {ur[0], ui[0]};
  return k;
}

template <bool Power>
ZELMORA_AVX2 std::int64_t add_lanes_avx2(double* l, double* r, std::int64_t count, phasor& wave,
                                         phasor& win, phasor wave_step, phasor win_step,
                                         double half, double gl, double gr) {
  return add_lanes<4, Power>(l, r, count, wave, win, wave_step, win_step, half, gl, gr);
}

template <bool Power>
std::int64_t add_lanes_portable(double* l, double* r, std::int64_t count, phasor& wave,
                                phasor& win, phasor wave_step, phasor win_step, double half,
                                double gl, double gr) {
  return add_lanes<2, Power>(l, r, count, wave, win, wave_step, win_step, half, gl, gr);
}

// Where a line stands, for the sample-by-sample path: a wave read from a
// table or a phasor, a window from a table or a phasor.
struct line_state {
  phasor wave, wave_step, win, win_step;
  double phase, phase_step, pos, pos_step, half;
  const wave_table* table;
  const wave_table* shape;
  bool power;
};

template <bool TableWave, bool TableWindow>
void add_samples(double* l, double* r, std::int64_t count, line_state& s, double gl, double gr) {
  for (std::int64_t k = 0; k < count; ++k) {
    double w = TableWindow ? s.shape->at(std::clamp(s.pos, 0.0, 1.0)) : 0.5 + s.half * s.win.re;
    if (!TableWindow && s.power) w = power_window(w);
    const double v = (TableWave ? s.table->at(s.phase) : s.wave.im) * w;
    l[k] += gl * v;
    r[k] += gr * v;
    if constexpr (TableWave) {
      s.phase += s.phase_step;
      if (s.phase >= 1) s.phase -= 1;
    } else {
      s.wave = s.wave * s.wave_step;
    }
    if constexpr (TableWindow)
      s.pos += s.pos_step;
    else
      s.win = s.win * s.win_step;
  }
}

}  // namespace

// `left` and `right` start at sample `from`. Lines: 1 the rise, 2 the fall,
// 3 a separate grain's whole shape.
void grain_voices::render_grain(grain& g, double* left, double* right, std::int64_t from,
                                std::int64_t to) {
  if (to <= g.first_sample) return;
  if (g.fall < 0 && to > g.fall_sample) {
    // No note of the chain starts where this one falls: it falls as it rose.
    g.fall = g.rise;
    g.end_sample = sample_after(g.fall_at + g.rise);
  }
  if (!g.panned) pan(g, group_top_);
  const std::int64_t lo = std::max(from, g.first_sample);
  if (g.shape) {
    render_line(g, 3, left, right, from, lo, std::min(to, g.end_sample));
    return;
  }
  if (g.fall == g.rise && !g.power_rise && !g.power_fall) {
    render_line(g, 1, left, right, from, lo, std::min(to, g.end_sample));
    return;
  }
  render_line(g, 1, left, right, from, lo, std::min(to, g.fall_sample));
  if (g.fall > 0)
    render_line(g, 2, left, right, from, std::max(lo, g.fall_sample), std::min(to, g.end_sample));
}

// Exact values of the wave and the window at sample `from`: the wave where
// it is not already there, the window where a line starts.
void grain_voices::start_line(grain& g, int line, std::int64_t from) const {
  const double t = static_cast<double>(from) / rate_;
  if (g.next_sample != from) {
    const double cycles = t * g.freq + g.cycle;
    g.phase = cycles - std::floor(cycles);
    const double wave = 2 * std::numbers::pi * g.phase;
    g.wave_re = std::cos(wave);
    g.wave_im = std::sin(wave);
  }
  g.line = line;
  if (line == 3) {
    g.win_pos = (t - g.start) / g.rise;
    g.win_step = 1 / (rate_ * g.rise);
    return;
  }
  // Rising: sin^2 = 0.5 - 0.5 cos(angle), the angle going from 0 to pi
  // over the rise (on to 2 pi over as long a fall); an own fall:
  // cos^2 = 0.5 + 0.5 cos(angle), 0 to pi over the fall.
  const double length = line == 1 ? g.rise : g.fall;
  const double angle = std::numbers::pi * (t - (line == 1 ? g.start : g.fall_at)) / length;
  g.win_re = std::cos(angle);
  g.win_im = std::sin(angle);
  if (line == 1) {
    g.win_step_re = g.rise_step_re;
    g.win_step_im = g.rise_step_im;
  } else {
    g.win_step_re = std::cos(std::numbers::pi / (rate_ * length));
    g.win_step_im = std::sin(std::numbers::pi / (rate_ * length));
  }
}

// A line read from tables, a sample at a time.
[[gnu::noinline]] void grain_voices::render_samples(grain& g, int line, bool table_window,
                                                   double* l, double* r, std::int64_t count) const {
  line_state s{{g.wave_re, g.wave_im}, {g.wave_step_re, g.wave_step_im}, {g.win_re, g.win_im},
               {g.win_step_re, g.win_step_im}, g.phase, g.freq / rate_, g.win_pos, g.win_step,
               line == 1 ? -0.5 : 0.5, g.wave, g.shape,
               (line == 1 && g.power_rise) || (line == 2 && g.power_fall)};
  if (g.wave && table_window) add_samples<true, true>(l, r, count, s, g.left, g.right);
  else if (g.wave) add_samples<true, false>(l, r, count, s, g.left, g.right);
  else add_samples<false, true>(l, r, count, s, g.left, g.right);
  g.wave_re = s.wave.re, g.wave_im = s.wave.im, g.win_re = s.win.re, g.win_im = s.win.im;
  g.phase = s.phase, g.win_pos = s.pos;
}

// Adds samples `from`..`to` of one window line.
void grain_voices::render_line(grain& g, int line, double* left, double* right,
                               std::int64_t base, std::int64_t from, std::int64_t to) const {
  if (from >= to) return;
  if (g.line != line || g.next_sample != from) start_line(g, line, from);
  const double half = line == 1 ? -0.5 : 0.5;
  const double gl = g.left, gr = g.right;
  double* l = left + (from - base);
  double* r = right + (from - base);
  const std::int64_t count = to - from;
  const bool table_window = line == 3;
  const bool power = (line == 1 && g.power_rise) || (line == 2 && g.power_fall);
  if (g.wave || table_window) {
    render_samples(g, line, table_window, l, r, count);
    g.next_sample = to;
    return;
  }
  const phasor wave_step{g.wave_step_re, g.wave_step_im}, win_step{g.win_step_re, g.win_step_im};
  phasor wave{g.wave_re, g.wave_im}, win{g.win_re, g.win_im};
  std::int64_t k = 0;
  if (count >= 8 && power)
    k = (avx2_ ? add_lanes_avx2<true> : add_lanes_portable<true>)(
        l, r, count, wave, win, wave_step, win_step, half, gl, gr);
  else if (count >= 8)
    k = (avx2_ ? add_lanes_avx2<false> : add_lanes_portable<false>)(
        l, r, count, wave, win, wave_step, win_step, half, gl, gr);
  for (; k < count; ++k) {
    const double w = 0.5 + half * win.re;
    const double v = wave.im * (power ? power_window(w) : w);
    l[k] += gl * v;
    r[k] += gr * v;
    wave = wave * wave_step;
    win = win * win_step;
  }
  g.wave_re = wave.re;
  g.wave_im = wave.im;
  g.win_re = win.re;
  g.win_im = win.im;
  g.next_sample = to;
}

// The window's value where the render left the grain, from its line's
// phasor or table: no transcendental function a grain and a period.
double grain_voices::window_now(const grain& g) const {
  if (g.line == 3) return g.shape->at(std::clamp(g.win_pos, 0.0, 1.0));
  const double w = 0.5 + (g.line == 1 ? -0.5 : 0.5) * g.win_re;
  return (g.line == 1 && g.power_rise) || (g.line == 2 && g.power_fall) ? power_window(w) : w;
}

// The window's value at time `t`, for the count of sounding voices.
double grain_voices::window_at(const grain& g, double t) const {
  const double pi = std::numbers::pi;
  if (t < g.start) return 0;
  if (g.shape) {
    const double x = (t - g.start) / g.rise;
    return x >= 1 ? 0 : g.shape->at(x);
  }
  if (t < g.fall_at) {
    const double w = 0.5 - 0.5 * std::cos(pi * (t - g.start) / g.rise);
    return g.power_rise ? power_window(w) : w;
  }
  if (g.fall < 0) return 1;
  const double y = g.fall > 0 ? (t - g.fall_at) / g.fall : 1;
  if (y >= 1) return 0;
  const double w = 0.5 + 0.5 * std::cos(pi * y);
  return g.power_fall ? power_window(w) : w;
}
