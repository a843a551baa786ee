#include "dsp/grain_voices.h"

#include "platform/avx2.h"
#include "platform/cpu_features.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

constexpr int highest_instrument = 100;
constexpr double max_amplitude = 2000;  // p4's upper limit
constexpr double taper_exponent = 1.6;
constexpr double phase_spread = 0.2882;        // first phase frac(spread * i^2)
constexpr double stagger = 0.6180339887;       // chain i runs frac(stagger * i) grains late
constexpr int look_ahead_periods = 8 + 2;      // limiter look-ahead, spline, filter
constexpr double tail_extra = 0.01;
constexpr double default_rate = 44100;  // for a rate that is none
// Far beyond any render (over 3000 years at 96 kHz), well within int64.
constexpr double latest_sample = 1e16;
constexpr double longest_grain = 1e9;  // seconds: keeps the arithmetic finite
// How many grains (of the latest note) a chain may run behind the score
// after the grain shrinks: each note waiting for its turn is held, and
// costs the render a look every control period.
constexpr double chain_reach = 256;

// csound's frac: the part after the point, with the sign of x.
double frac(double x) { return x - std::trunc(x); }

double limit(double x, double low, double high) { return std::min(std::max(x, low), high); }

// A sample number from a count of them; beyond all bounds, one never
// reached.
std::int64_t whole_samples(double samples) {
  if (!(samples < latest_sample)) return static_cast<std::int64_t>(latest_sample);
  return static_cast<std::int64_t>(std::max(samples, -latest_sample));
}

}  // namespace

grain_voices::grain_voices(double sample_rate, int control_period)
    : rate_(std::isfinite(sample_rate) && sample_rate >= 1 ? sample_rate : default_rate),
      period_(std::max(control_period, 1)),
      late_(period_ / rate_),
      tail_(look_ahead_periods * period_ / rate_ + tail_extra),
      avx2_(active_kernel_set() == kernel_set::avx2) {
  grains_.reserve(4 * highest_instrument);
}

// csound starts a score event at the control period nearest its time.
std::int64_t grain_voices::onset_sample_of(double time) const {
  return whole_samples(std::round(time * rate_ / period_) * period_);
}

// The first sample at or after `time`.
std::int64_t grain_voices::sample_after(double time) const {
  return whole_samples(std::ceil(time * rate_));
}

void grain_voices::begin_onset(double start) {
  any_onset_ = true;
  onset_start_ = start;
  const std::int64_t sample = onset_sample_of(start);
  if (sample != group_sample_) {
    // The earlier onsets' notes see the top of the last one that started
    // in their control period, as the orchestra's gkTop at their first
    // k-pass.
    for (auto g = grains_.rbegin(); g != grains_.rend() && g->onset_sample == group_sample_; ++g)
      if (!g->panned) pan(*g, group_top_);
    group_sample_ = sample;
  }
  group_top_ = 0;
  onsets_.push_back({sample, 0});
}

void grain_voices::add(const note& n) {
  const int i = n.instrument;
  if (i < 1 || i > highest_instrument) return;
  if (!std::isfinite(n.start) || !std::isfinite(n.duration) || !std::isfinite(n.amplitude) ||
      !std::isfinite(n.frequency))
    return;
  if (!any_onset_ || n.start != onset_start_) begin_onset(n.start);

  const double grain_len = limit(n.duration, 1 / rate_, longest_grain);
  const double position = limit(n.amplitude, 0, max_amplitude) / 1000;
  double amp = position > 0 ? std::pow(position, taper_exponent) : 0;
  if (!(n.frequency > 0 && n.frequency < rate_ / 2)) amp = 0;
  if (amp > 0) ++onsets_.back().sounding;
  group_top_ = std::max(group_top_, i);

  // The rise: chained to the previous note's rise end unless that comes
  // before this note's time or so far after it that the chain would hold
  // more than `chain_reach` notes waiting; else at its place. The rise
  // brings the chain back to its place behind the score: after the grain
  // grows, at once; after it shrinks, by at least 3/4 of a grain a note.
  chain& c = chains_[i];
  const double nominal = n.start + late_ + frac(stagger * i) * grain_len;
  const double prev_end = c.last_at + c.last_len;
  const bool chained = c.last_start < n.start && prev_end >= n.start + late_ &&
                       prev_end <= n.start + late_ + chain_reach * grain_len;
  const double start = chained ? prev_end : nominal;
  const double rise = limit(grain_len - (start - nominal), grain_len / 4, 2 * grain_len);
  const double fall_at = start + rise;
  keep_until_ = std::max(keep_until_, fall_at + rise + tail_);

  // The previous note falls as long as this one rises if this one starts
  // where it falls.
  if (c.latest >= 0) {
    grain& prev = grains_[static_cast<std::size_t>(c.latest)];
    if (start == prev.fall_at) {
      prev.fall = rise;
      prev.end_sample = sample_after(prev.fall_at + rise);
      prev.line = 0;  // a late note: take the window up again
    }
  }
  c.last_start = n.start;
  c.last_at = start;
  c.last_len = rise;

  // The wave continues the instrument's at the middle of the cross-fade.
  const double anchor = start + rise / 2;
  const double phase = c.freq == 0 ? frac(phase_spread * i * i)
                                   : frac(c.phase + c.freq * (anchor - c.anchor));
  c.anchor = anchor;
  c.phase = std::isfinite(phase) ? phase : 0;  // after an absurd frequency
  if (n.frequency > 0) c.freq = n.frequency;

  c.latest = -1;
  if (amp <= 0) return;
  grain g;
  g.instrument = i;
  g.start = start;
  g.rise = rise;
  g.fall_at = fall_at;
  g.first_sample = sample_after(start);
  g.fall_sample = sample_after(fall_at);
  g.onset_sample = onset_sample_of(n.start);
  g.score_sample = sample_after(n.start) - 1;
  g.freq = n.frequency;
  g.cycle = c.phase - n.frequency * anchor;
  g.amp = amp;
  g.wave_step_re = std::cos(2 * std::numbers::pi * n.frequency / rate_);
  g.wave_step_im = std::sin(2 * std::numbers::pi * n.frequency / rate_);
  g.rise_step_re = std::cos(std::numbers::pi / (rate_ * rise));
  g.rise_step_im = std::sin(std::numbers::pi / (rate_ * rise));
  c.latest = static_cast<long>(grains_.size());
  grains_.push_back(g);
}

// Equal power by the block's column in the onset's grid of n x n, n the
// square root of its highest instrument.
void grain_voices::pan(grain& g, int top) {
  if (top != pan_top_) {
    const int n = std::max(static_cast<int>(std::floor(std::sqrt(static_cast<double>(top)))), 1);
    for (int i = 1; i <= highest_instrument; ++i) {
      const double x = n > 1 ? static_cast<double>((i - 1) % n) / (n - 1) : 0.5;
      pan_gains_[static_cast<std::size_t>(i)] = {std::cos(x * std::numbers::pi / 2),
                                                 std::sin(x * std::numbers::pi / 2)};
    }
    pan_top_ = top;
  }
  const auto& gains = pan_gains_[static_cast<std::size_t>(g.instrument)];
  g.left = gains[0] * g.amp;
  g.right = gains[1] * g.amp;
  g.panned = true;
}

void grain_voices::render(double* left, double* right, std::size_t frames) {
  const std::int64_t from = now_;
  const std::int64_t to = now_ + static_cast<std::int64_t>(frames);
  for (grain& g : grains_) {
    // Notes come in score order: from the first that starts after this
    // block on, none has begun.
    if (g.score_sample >= to) break;
    render_grain(g, left, right, from, to);
  }
  now_ = to;
  drop_finished();
  while (onsets_.size() > 1 && onsets_[1].sample < now_) onsets_.pop_front();
}

// `left` and `right` start at sample `from`.
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
  if (g.fall == g.rise) {
    render_line(g, 1, left, right, from, lo, std::min(to, g.end_sample));
    return;
  }
  render_line(g, 1, left, right, from, lo, std::min(to, g.fall_sample));
  if (g.fall > 0)
    render_line(g, 2, left, right, from, std::max(lo, g.fall_sample), std::min(to, g.end_sample));
}

// Exact values of the phasors at sample `from`: the wave where it is not
// already there, the window where a line starts.
void grain_voices::start_line(grain& g, int line, std::int64_t from) const {
  const double t = static_cast<double>(from) / rate_;
  if (g.next_sample != from) {
    const double cycles = t * g.freq + g.cycle;
    const double wave = 2 * std::numbers::pi * (cycles - std::floor(cycles));
    g.wave_re = std::cos(wave);
    g.wave_im = std::sin(wave);
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
  g.line = line;
}

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

// One window line's samples added into l and r: the wave's imaginary part
// times 0.5 + half * the window phasor's real part, both phasors rotated
// once a sample. N lanes hold N consecutive samples, their phasors
// rotated N steps at a time, which keeps the vector unit busy; the rest
// one by one. Returns how many samples were done.
template <int N>
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
    const lanes v = wi * (0.5 + half * ur);
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

ZELMORA_AVX2 std::int64_t add_lanes_avx2(double* l, double* r, std::int64_t count, phasor& wave,
                                         phasor& win, phasor wave_step, phasor win_step,
                                         double half, double gl, double gr) {
  return add_lanes<4>(l, r, count, wave, win, wave_step, win_step, half, gl, gr);
}

std::int64_t add_lanes_portable(double* l, double* r, std::int64_t count, phasor& wave,
                                phasor& win, phasor wave_step, phasor win_step, double half,
                                double gl, double gr) {
  return add_lanes<2>(l, r, count, wave, win, wave_step, win_step, half, gl, gr);
}

}  // namespace

// Adds samples `from`..`to` of one window line.
void grain_voices::render_line(grain& g, int line, double* left, double* right,
                               std::int64_t base, std::int64_t from, std::int64_t to) const {
  if (from >= to) return;
  if (g.line != line || g.next_sample != from) start_line(g, line, from);
  const double half = line == 1 ? -0.5 : 0.5;
  const double gl = g.left, gr = g.right;
  const phasor wave_step{g.wave_step_re, g.wave_step_im}, win_step{g.win_step_re, g.win_step_im};
  phasor wave{g.wave_re, g.wave_im}, win{g.win_re, g.win_im};
  double* l = left + (from - base);
  double* r = right + (from - base);
  const std::int64_t count = to - from;
  std::int64_t k = 0;
  if (count >= 8)
    k = (avx2_ ? add_lanes_avx2 : add_lanes_portable)(l, r, count, wave, win, wave_step, win_step,
                                                      half, gl, gr);
  for (; k < count; ++k) {
    const double v = wave.im * (0.5 + half * win.re);
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

// Drops the grains that have played out and keeps the chains' indices
// of their latest notes right.
void grain_voices::drop_finished() {
  std::size_t kept = 0;
  for (std::size_t k = 0; k < grains_.size(); ++k) {
    grain& g = grains_[k];
    chain& c = chains_[static_cast<std::size_t>(g.instrument)];
    const bool latest = c.latest == static_cast<long>(k);
    const bool done = g.fall >= 0 && g.end_sample <= now_;
    if (done) {
      if (latest) c.latest = -1;
      continue;
    }
    if (latest) c.latest = static_cast<long>(kept);
    if (kept != k) grains_[kept] = g;
    ++kept;
  }
  grains_.resize(kept);
}

int grain_voices::voices() const {
  for (auto o = onsets_.rbegin(); o != onsets_.rend(); ++o)
    if (o->sample < now_) return std::max(o->sounding, 1);
  return 1;
}

double grain_voices::keep_until() const { return keep_until_; }

double grain_voices::now() const { return static_cast<double>(now_) / rate_; }
