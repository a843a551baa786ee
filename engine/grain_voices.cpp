#include "engine/grain_voices.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int highest_instrument = 100;
constexpr double max_amplitude = 2000;  // p4's upper limit
constexpr double taper_exponent = 1.6;
constexpr double phase_spread = 0.2882;        // first phase frac(spread * i^2)
constexpr double stagger = 0.6180339887;       // chain i runs frac(stagger * i) grains late
constexpr int look_ahead_periods = 8 + 2;      // limiter look-ahead, spline, filter
constexpr double tail_extra = 0.01;

// csound's frac: the part after the point, with the sign of x.
double frac(double x) { return x - std::trunc(x); }

double limit(double x, double low, double high) { return std::min(std::max(x, low), high); }

}  // namespace

grain_voices::grain_voices(double sample_rate, int control_period)
    : rate_(sample_rate),
      period_(std::max(control_period, 1)),
      late_(period_ / sample_rate),
      tail_(look_ahead_periods * period_ / sample_rate + tail_extra) {
  grains_.reserve(4 * highest_instrument);
}

// csound starts a score event at the control period nearest its time.
std::int64_t grain_voices::onset_sample_of(double time) const {
  return std::llround(time * rate_ / period_) * period_;
}

// The first sample at or after `time`.
std::int64_t grain_voices::sample_after(double time) const {
  return static_cast<std::int64_t>(std::ceil(time * rate_));
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
  if (!any_onset_ || n.start != onset_start_) begin_onset(n.start);

  const double grain_len = std::max(n.duration, 1 / rate_);
  const double position = limit(n.amplitude, 0, max_amplitude) / 1000;
  double amp = position > 0 ? std::pow(position, taper_exponent) : 0;
  if (!(n.frequency > 0 && n.frequency < rate_ / 2)) amp = 0;
  if (amp > 0) ++onsets_.back().sounding;
  group_top_ = std::max(group_top_, i);

  // The rise: chained to the previous note's rise end when that lies
  // within four grains behind this note's place, else at its place.
  chain& c = chains_[i];
  const double nominal = n.start + late_ + frac(stagger * i) * grain_len;
  const double prev_end = c.last_at + c.last_len;
  const bool chained = c.last_start < n.start && prev_end >= n.start + late_ &&
                       prev_end <= n.start + late_ + 4 * grain_len;
  const double start = chained ? prev_end : nominal;
  double rise = limit(grain_len - (start - nominal), grain_len / 4, 2 * grain_len);
  if (chained) rise = std::min(rise, c.fall_room);
  const double fall_at = start + rise;
  const double room = 4 * rise;
  keep_until_ = std::max(keep_until_, fall_at + rise + tail_);

  // The previous note falls as long as this one rises if this one starts
  // where it falls.
  if (c.latest >= 0) {
    grain& prev = grains_[static_cast<std::size_t>(c.latest)];
    if (start == prev.fall_at) {
      prev.fall = rise;
      prev.end_sample = sample_after(prev.fall_at + rise);
      if (prev.segment == 2) prev.segment = 0;  // a late note: take the fall up again
    }
  }
  c.last_start = n.start;
  c.last_at = start;
  c.last_len = rise;
  c.fall_room = room;

  // The wave continues the instrument's at the middle of the cross-fade.
  const double anchor = start + rise / 2;
  const double phase = c.freq == 0 ? frac(phase_spread * i * i)
                                   : frac(c.phase + c.freq * (anchor - c.anchor));
  c.anchor = anchor;
  c.phase = phase;
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
  g.freq = n.frequency;
  g.cycle = phase - n.frequency * anchor;
  g.amp = amp;
  c.latest = static_cast<long>(grains_.size());
  grains_.push_back(g);
}

void grain_voices::pan(grain& g, int top) const {
  const int n = std::max(static_cast<int>(std::floor(std::sqrt(static_cast<double>(top)))), 1);
  const double x = n > 1 ? static_cast<double>((g.instrument - 1) % n) / (n - 1) : 0.5;
  g.left = std::cos(x * std::numbers::pi / 2) * g.amp;
  g.right = std::sin(x * std::numbers::pi / 2) * g.amp;
  g.panned = true;
}

void grain_voices::render(double* left, double* right, std::size_t frames) {
  const std::int64_t from = now_;
  const std::int64_t to = now_ + static_cast<std::int64_t>(frames);
  for (grain& g : grains_) render_grain(g, left, right, from, to);
  now_ = to;
  drop_finished();
  while (onsets_.size() > 1 && onsets_[1].sample < now_) onsets_.pop_front();
}

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
  if (lo < g.fall_sample) render_segment(g, 1, left, right, lo, std::min(to, g.fall_sample), from);
  if (g.fall < 0) return;
  const std::int64_t fall_lo = std::max(lo, g.fall_sample);
  const std::int64_t fall_hi = std::min(to, g.end_sample);
  if (fall_lo < fall_hi) render_segment(g, 2, left, right, fall_lo, fall_hi, from);
}

void grain_voices::render_segment(grain& g, int segment, double* left, double* right,
                                  std::int64_t from, std::int64_t to, std::int64_t base) {
  constexpr double two_pi = 2 * std::numbers::pi;
  if (g.segment != segment || g.next_sample != from) {
    // Exact values at this sample, then one rotation a sample.
    const double t = static_cast<double>(from) / rate_;
    const double cycles = t * g.freq + g.cycle;
    const double wave = two_pi * (cycles - std::floor(cycles));
    g.wave_re = std::cos(wave);
    g.wave_im = std::sin(wave);
    g.wave_step_re = std::cos(two_pi * g.freq / rate_);
    g.wave_step_im = std::sin(two_pi * g.freq / rate_);
    const double length = segment == 1 ? g.rise : g.fall;
    const double origin = segment == 1 ? g.start : g.fall_at;
    const double window = std::numbers::pi * (t - origin) / length;
    g.win_re = std::cos(window);
    g.win_im = std::sin(window);
    g.win_step_re = std::cos(std::numbers::pi / (rate_ * length));
    g.win_step_im = std::sin(std::numbers::pi / (rate_ * length));
    g.segment = segment;
  }
  // Rising: sin^2 = 0.5 - 0.5 cos; falling: cos^2 = 0.5 + 0.5 cos.
  const double half = segment == 1 ? -0.5 : 0.5;
  double wr = g.wave_re, wi = g.wave_im, ur = g.win_re, ui = g.win_im;
  const double wsr = g.wave_step_re, wsi = g.wave_step_im;
  const double usr = g.win_step_re, usi = g.win_step_im;
  const double gl = g.left, gr = g.right;
  double* l = left + (from - base);
  double* r = right + (from - base);
  const std::int64_t count = to - from;
  for (std::int64_t k = 0; k < count; ++k) {
    const double v = wi * (0.5 + half * ur);
    l[k] += gl * v;
    r[k] += gr * v;
    const double nwr = wr * wsr - wi * wsi;
    wi = wr * wsi + wi * wsr;
    wr = nwr;
    const double nur = ur * usr - ui * usi;
    ui = ur * usi + ui * usr;
    ur = nur;
  }
  g.wave_re = wr;
  g.wave_im = wi;
  g.win_re = ur;
  g.win_im = ui;
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
