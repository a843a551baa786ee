#include "dsp/grain_voices.h"

#include "dsp/limiter.h"
#include "platform/cpu_features.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int highest_instrument = 100;
constexpr double max_amplitude = 2000;  // p4's upper limit
constexpr double taper_exponent = 1.6;
// Chain i runs frac(stagger * i) grains late, but the first (a single
// voice's) on time.
constexpr double stagger = 0.6180339887;
constexpr int look_ahead_periods = look_ahead_limiter::look + 2;  // limiter, spline, filter
constexpr double tail_extra = 0.01;
constexpr double default_rate = 44100;  // for a rate that is none
// Far beyond any render (over 3000 years at 96 kHz), well within int64.
constexpr double latest_sample = 1e16;
constexpr double longest_grain = 1e9;  // seconds: keeps the arithmetic finite
// How many grains (of the latest note) a chain may run behind the score
// after the grain shrinks: each note waiting for its turn is held, and
// costs the render a look every control period.
constexpr double chain_reach = 256;
constexpr int drop_every = 8;  // periods
// A jump of pitch: the two notes of a cross-fade beat through this many
// cycles in it, enough for their phases not to matter.
constexpr double jump_cycles = 2;
// The pool: every instrument's longest chain and the grains sounding with
// it, or `overlap` separate grains of a note and those of the notes around.
constexpr std::size_t pool_size =
    highest_instrument * std::max<std::size_t>(static_cast<std::size_t>(chain_reach) + 4,
                                               3 * grain_design::max_overlap);

// Each instrument's first phase (cycles) against a clock common to every
// voice at a pitch. A grid of n x n blocks on one pitch (n = 2 ... 10) then
// sums alike in both channels (within 0.2 dB), nearly in phase (a mono
// fold-down loses at most 0.3 dB) and as loud as unrelated voices within
// 1 dB: scripts/unison-phases.py found them.
constexpr double unison_phases[highest_instrument] = {
    0.3255, 0.2847, 0.6103, 0.5640, 0.9374, 0.3549, 0.4529, 0.1660, 0.3176, 0.7294,
    0.9306, 0.5193, 0.6875, 0.4703, 0.6028, 0.9373, 0.4558, 0.0628, 0.1471, 0.2457,
    0.9323, 0.1256, 0.4763, 0.2440, 0.1362, 0.7562, 0.1358, 0.6277, 0.3944, 0.2931,
    0.9982, 0.2483, 0.0065, 0.1593, 0.1690, 0.5324, 0.5435, 0.0957, 0.6882, 0.1791,
    0.2615, 0.6846, 0.9164, 0.1171, 0.7422, 0.0146, 0.7618, 0.1611, 0.1343, 0.6060,
    0.7908, 0.2877, 0.4154, 0.4712, 0.4092, 0.7870, 0.3975, 0.5203, 0.5212, 0.6707,
    0.3158, 0.7469, 0.5854, 0.3202, 0.6496, 0.5290, 0.4578, 0.9634, 0.2900, 0.8945,
    0.4225, 0.8135, 0.8431, 0.2010, 0.6217, 0.7893, 0.9383, 0.4839, 0.5486, 0.2793,
    0.0579, 0.5392, 0.5564, 0.2905, 0.3319, 0.4004, 0.0844, 0.8046, 0.9629, 0.3941,
    0.5343, 0.5112, 0.7833, 0.9218, 0.2760, 0.9768, 0.4736, 0.9932, 0.6187, 0.9549,
};

// csound's frac: the part after the point, with the sign of x.
double frac(double x) { return x - std::trunc(x); }

double limit(double x, double low, double high) { return std::min(std::max(x, low), high); }

// A sample number from a count of them; beyond all bounds, one never
// reached.
std::int64_t whole_samples(double samples) {
  if (!(samples < latest_sample)) return static_cast<std::int64_t>(latest_sample);
  return static_cast<std::int64_t>(std::max(samples, -latest_sample));
}

// A number in [0, 1) that depends only on its arguments: jitter plays the
// same in every render of a score, however it is cut.
double random_unit(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
  std::uint64_t z = a * 0x9e3779b97f4a7c15u + b * 0xbf58476d1ce4e5b9u + c * 0x94d049bb133111ebu;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * 0x1p-53;
}

}  // namespace

double grain_voices::stagger_of(int instrument) {
  return instrument == 1 ? 0 : frac(stagger * instrument);
}

grain_voices::grain_voices(double sample_rate, int control_period)
    : rate_(std::isfinite(sample_rate) && sample_rate >= 1 ? sample_rate : default_rate),
      period_(std::max(control_period, 1)),
      late_(period_ / rate_),
      tail_(look_ahead_periods * period_ / rate_ + tail_extra),
      avx2_(active_kernel_set() == kernel_set::avx2),
      waves_(shared_waves()),
      shapes_(shared_shapes()) {
  grains_.reserve(pool_size);
}

// csound starts a score event at the control period nearest its time.
std::int64_t grain_voices::onset_sample_of(double time) const {
  return whole_samples(std::round(time * rate_ / period_) * period_);
}

// The first sample at or after `time`.
std::int64_t grain_voices::sample_after(double time) const {
  return whole_samples(std::ceil(time * rate_));
}

grain_voices::onset& grain_voices::latest_onset() {
  return onsets_[(onset_first_ + onset_count_ - 1) % onset_ring];
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
  if (onset_count_ == onset_ring) {  // onsets far ahead: the oldest goes
    onset_first_ = (onset_first_ + 1) % onset_ring;
    --onset_count_;
  }
  ++onset_count_;
  latest_onset() = {sample, 0};
}

grain_voices::variation grain_voices::vary(const note& n, int grain_number) const {
  const double j = design_.jitter;
  if (j <= 0) return {};
  const auto key = static_cast<std::uint64_t>(sample_after(n.start));
  const auto random = [&](int what) {
    return random_unit(static_cast<std::uint64_t>(n.instrument), key,
                       static_cast<std::uint64_t>(grain_number * 4 + what));
  };
  // Onset within a grain, pitch within a semitone either way, level down
  // to -6 dB, pan a quarter of the field either way.
  return {j * random(0), std::exp2(j * (2 * random(1) - 1) / 12), 1 - 0.5 * j * random(2),
          j * (random(3) - 0.5) * 0.5};
}

const wave_table* grain_voices::wave_for(double hz) const {
  if (design_.wave == grain_wave::table)
    return table1_.present && !table1_.sine ? &table1_.table : nullptr;
  return waves_.table_for(design_.wave, hz, rate_);
}

bool grain_voices::take(const grain& g) {
  if (grains_.size() == pool_size) {
    ++refused_;
    return false;
  }
  grains_.push_back(g);
  return true;
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
  if (amp > 0) ++latest_onset().sounding;
  group_top_ = std::max(group_top_, i);
  if (design_.window == grain_window::chain)
    add_chained(n, grain_len, amp);
  else
    add_separate(n, grain_len, amp);
}

// The wave's phase at `anchor` for a note of `hz`: the chain's wave going
// on, or, for a chain's first note, the common clock's at that pitch plus
// the instrument's share: voices starting on one pitch sum the same way
// whatever the grain and the stagger. (Starting afresh from the clock
// after every jump of pitch too would keep a unison balanced after it
// moves, but its phase steps flutter at the grain rate.)
double grain_voices::next_phase(chain& c, int instrument, double hz, double anchor) const {
  const double phase = c.freq == 0
                           ? frac(unison_phases[instrument - 1] + hz * anchor)
                           : frac(c.phase + c.freq * (anchor - c.anchor));
  return std::isfinite(phase) ? phase : 0;  // after an absurd frequency
}

void grain_voices::add_chained(const note& n, double grain_len, double amp) {
  const int i = n.instrument;
  const variation v = vary(n, 0);
  const double hz = n.frequency * v.pitch;
  // The rise: chained to the previous note's rise end unless that comes
  // before this note's time or so far after it that the chain would hold
  // more than `chain_reach` notes waiting; else at its place. The rise
  // brings the chain back to its place behind the score: after the grain
  // grows, at once; after it shrinks, by at least 3/4 of a grain a note.
  chain& c = chains_[static_cast<std::size_t>(i)];
  const double nominal = n.start + late_ + (stagger_of(i) + 0.5 * v.onset) * grain_len;
  const double prev_end = c.last_at + c.last_len;
  // Within half a sample of its place it is on time: a chain at its place
  // (the first instrument's, unstaggered) must not fall out by rounding.
  const bool chained = c.last_start < n.start && prev_end >= n.start + late_ - 0.5 / rate_ &&
                       prev_end <= n.start + late_ + chain_reach * grain_len;
  const double start = chained ? prev_end : nominal;
  const double rise = limit(grain_len - (start - nominal), grain_len / 4, 2 * grain_len);
  const double fall_at = start + rise;
  keep_until_ = std::max(keep_until_, fall_at + rise + tail_);
  const bool jump = amp > 0 && c.freq > 0 && std::abs(hz - c.freq) * rise >= jump_cycles;

  // The previous note falls as long as this one rises if this one starts
  // where it falls; across a jump of pitch, with equal power.
  bool partnered = false;
  if (c.latest >= 0) {
    grain& prev = grains_[static_cast<std::size_t>(c.latest)];
    if (start == prev.fall_at && (prev.fall < 0 || prev.end_sample > now_)) {
      prev.fall = rise;
      prev.end_sample = sample_after(prev.fall_at + rise);
      prev.power_fall = jump;
      prev.line = 0;  // a late note: take the window up again
      partnered = true;
    }
  }
  c.last_start = n.start;
  c.last_at = start;
  c.last_len = rise;

  const double anchor = start + rise / 2;
  c.phase = next_phase(c, i, hz, anchor);
  c.anchor = anchor;
  if (hz > 0) c.freq = hz;

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
  g.freq = hz;
  g.cycle = c.phase - hz * anchor;
  g.amp = amp * v.level;
  g.width = design_.width;
  g.pan_offset = v.pan;
  g.power_rise = jump && partnered;
  g.wave = wave_for(hz);
  g.wave_step_re = std::cos(2 * std::numbers::pi * hz / rate_);
  g.wave_step_im = std::sin(2 * std::numbers::pi * hz / rate_);
  g.rise_step_re = std::cos(std::numbers::pi / (rate_ * rise));
  g.rise_step_im = std::sin(std::numbers::pi / (rate_ * rise));
  if (take(g)) c.latest = static_cast<long>(grains_.size()) - 1;
}

// `overlap` grains of the note's length, a share of it apart, each a
// shape of its own; they take up the instrument's wave as a chain does,
// so that at one pitch they add up in phase.
void grain_voices::add_separate(const note& n, double grain_len, double amp) {
  const int i = n.instrument;
  const int count = std::clamp(design_.overlap, 1, grain_design::max_overlap);
  const double spacing = grain_len / count;
  const double mean = shapes_.mean(design_.window);
  const double norm = 1 / std::max(1.0, count * mean);
  chain& c = chains_[static_cast<std::size_t>(i)];
  const double anchor = n.start + late_ + stagger_of(i) * spacing + grain_len / 2;
  c.phase = next_phase(c, i, n.frequency, anchor);
  c.anchor = anchor;
  if (n.frequency > 0) c.freq = n.frequency;
  c.latest = -1;
  c.last_start = n.start;
  if (amp <= 0) return;
  for (int k = 0; k < count; ++k) {
    const variation v = vary(n, k);
    grain g;
    g.instrument = i;
    g.start = n.start + late_ + (k + stagger_of(i) + v.onset) * spacing;
    g.rise = grain_len;
    g.fall_at = g.start + grain_len;
    g.fall = 0;
    g.first_sample = sample_after(g.start);
    g.fall_sample = g.end_sample = sample_after(g.fall_at);
    g.onset_sample = onset_sample_of(n.start);
    g.score_sample = sample_after(n.start) - 1;
    g.freq = n.frequency * v.pitch;
    g.cycle = c.phase - g.freq * anchor;
    g.amp = amp * v.level * norm;
    g.weight = norm;
    g.width = design_.width;
    g.pan_offset = v.pan;
    g.wave = wave_for(g.freq);
    g.shape = &shapes_.of(design_.window);
    g.wave_step_re = std::cos(2 * std::numbers::pi * g.freq / rate_);
    g.wave_step_im = std::sin(2 * std::numbers::pi * g.freq / rate_);
    keep_until_ = std::max(keep_until_, g.fall_at + tail_);
    take(g);
  }
}

// Equal power by the block's column in the onset's grid of n x n, n the
// square root of its highest instrument, drawn towards the middle by the
// width; the middle itself exactly alike in both channels.
// The gains of the grid of `pan_top_` and `pan_width_` are kept: only a
// jittered pan needs its own.
void grain_voices::pan(grain& g, int top) {
  const auto gains_at = [&](double column) -> std::array<double, 2> {
    const double x = limit(0.5 + (column - 0.5 + g.pan_offset) * g.width, 0, 1);
    if (x == 0.5) return {std::sqrt(0.5), std::sqrt(0.5)};
    return {std::cos(x * std::numbers::pi / 2), std::sin(x * std::numbers::pi / 2)};
  };
  const int n = std::max(static_cast<int>(std::floor(std::sqrt(static_cast<double>(top)))), 1);
  const auto column_of = [n](int i) { return n > 1 ? static_cast<double>((i - 1) % n) / (n - 1) : 0.5; };
  std::array<double, 2> gains;
  if (g.pan_offset != 0) {
    gains = gains_at(column_of(g.instrument));
  } else {
    if (top != pan_top_ || g.width != pan_width_) {
      for (int i = 1; i <= highest_instrument; ++i)
        pan_gains_[static_cast<std::size_t>(i)] = gains_at(column_of(i));
      pan_top_ = top;
      pan_width_ = g.width;
    }
    gains = pan_gains_[static_cast<std::size_t>(g.instrument)];
  }
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
  count_sounding();
  // Played-out grains cost a look each until they go; going costs moving
  // the rest, so they go every few periods.
  if (++since_drop_ >= drop_every || grains_.size() > pool_size / 2) {
    drop_finished();
    since_drop_ = 0;
  }
  while (onset_count_ > 1 && onsets_[(onset_first_ + 1) % onset_ring].sample < now_) {
    onset_first_ = (onset_first_ + 1) % onset_ring;
    --onset_count_;
  }
}

// Each instrument counts by its windows where the render now stands: a
// chain's add up to 1 (more across a jump of pitch, still 1), a fading
// one's less.
void grain_voices::count_sounding() {
  weights_.fill(0);
  const double t = static_cast<double>(now_) / rate_;
  for (const grain& g : grains_) {
    if (g.first_sample >= now_) continue;
    weights_[static_cast<std::size_t>(g.instrument)] +=
        (g.next_sample == now_ && g.line != 0 ? window_now(g) : window_at(g, t)) * g.weight;
  }
  sounding_ = 0;
  for (const double w : weights_) sounding_ += std::min(w, 1.0);
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
  for (std::size_t k = onset_count_; k-- > 0;) {
    const onset& o = onsets_[(onset_first_ + k) % onset_ring];
    if (o.sample < now_) return std::max(o.sounding, 1);
  }
  return 1;
}

double grain_voices::keep_until() const { return keep_until_; }

double grain_voices::now() const { return static_cast<double>(now_) / rate_; }
