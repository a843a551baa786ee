// The grain voices: chains of windows that hold a tone steady, the pan and
// the taper, silent notes, and the counts the Master and the render use.
#include "dsp/grain_voices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "engine/automaton/kernel_threads.h"

namespace {

constexpr double rate = 44100;
constexpr int period = 32;
constexpr double hz = 441;      // 100 samples a cycle:
constexpr int quarter = 25;     // a quarter cycle apart, sin^2 + cos^2 = amplitude^2
constexpr double late = period / rate;
constexpr double tail = 10 * period / rate + 0.01;

struct stereo {
  std::vector<double> left, right;
};

// One onset per grain for each instrument in `instruments`, `grains`
// giving each onset's length, frequency and amplitude per instrument.
struct onset_plan {
  double duration;
  double frequency;
  double amplitude;
};

stereo play(const std::vector<int>& instruments, const std::vector<onset_plan>& plan,
            double seconds, std::size_t chunk = period) {
  grain_voices voices(rate, period);
  double t = 0;
  for (const onset_plan& o : plan) {
    for (int i : instruments) voices.add({i, t, o.duration, o.amplitude, o.frequency});
    t += o.duration;
  }
  const auto frames = static_cast<std::size_t>(seconds * rate);
  stereo out{std::vector<double>(frames, 0.0), std::vector<double>(frames, 0.0)};
  for (std::size_t s = 0; s < frames; s += chunk)
    voices.render(&out.left[s], &out.right[s], std::min(chunk, frames - s));
  return out;
}

std::vector<onset_plan> held(const std::vector<double>& durations, double amplitude = 1000) {
  std::vector<onset_plan> plan;
  for (double d : durations) plan.push_back({d, hz, amplitude});
  return plan;
}

// Grain lengths that change mid-chain: 5 ms, then 1, 3, 5 and 2 ms.
std::vector<double> changing_durations() {
  std::vector<double> d;
  for (auto [length, count] : {std::pair{0.005, 20}, {0.001, 60}, {0.003, 30}, {0.005, 20},
                               {0.002, 40}})
    d.insert(d.end(), count, length);
  return d;
}

double envelope(const std::vector<double>& x, std::size_t s) {
  return std::hypot(x[s], x[s + quarter]);
}

// How far the envelope strays from `amplitude` over samples [from, to).
double envelope_error(const std::vector<double>& x, double amplitude, std::size_t from,
                      std::size_t to) {
  double worst = 0;
  for (std::size_t s = from; s < to; ++s)
    worst = std::max(worst, std::abs(envelope(x, s) - amplitude));
  return worst;
}

// How far x strays from the sine through x[from] and x[from + quarter].
double sine_error(const std::vector<double>& x, std::size_t from, std::size_t to) {
  const double phase = std::atan2(x[from], x[from + quarter]);
  const double amplitude = envelope(x, from);
  double worst = 0;
  for (std::size_t s = from; s < to; ++s) {
    const double expected =
        amplitude * std::sin(phase + 2 * std::numbers::pi * hz * static_cast<double>(s - from) / rate);
    worst = std::max(worst, std::abs(x[s] - expected));
  }
  return worst;
}

std::size_t sample(double seconds) { return static_cast<std::size_t>(seconds * rate); }

TEST(GrainVoices, AHeldToneIsOneSteadySineWhateverTheGrainsAndHowTheRenderIsCut) {
  const auto durations = changing_durations();
  double total = 0;
  for (double d : durations) total += d;
  const stereo out = play({1}, held(durations), total + 0.1);
  const double centre = std::cos(std::numbers::pi / 4);  // one instrument: the middle
  // Steady from the first fall to the last note's rise.
  const std::size_t from = sample(0.02), to = sample(total - 0.005);
  EXPECT_LT(envelope_error(out.left, centre, from, to), 1e-9);
  EXPECT_LT(sine_error(out.left, from, to), 1e-9);
  for (std::size_t s = 0; s < out.left.size(); s += 10) ASSERT_NEAR(out.left[s], out.right[s], 1e-15);
  // Then the last window closes.
  EXPECT_EQ(out.left.back(), 0.0);

  const auto largest_difference = [&](const stereo& other) {
    double worst = 0;
    for (std::size_t s = 0; s < out.left.size(); ++s)
      worst = std::max(worst, std::abs(other.left[s] - out.left[s]));
    return worst;
  };
  for (std::size_t chunk : {1, 7, 1000})
    EXPECT_LT(largest_difference(play({1}, held(durations), total + 0.1, chunk)), 1e-12)
        << "chunks of " << chunk;
  force_portable_kernels(true);
  EXPECT_LT(largest_difference(play({1}, held(durations), total + 0.1)), 1e-12)
      << "portable kernels";
  force_portable_kernels(false);
}

// The lowest and highest level (dB from `amplitude`) of x's RMS over one
// cycle, in [from, to).
std::pair<double, double> level_range(const std::vector<double>& x, double amplitude,
                                      std::size_t from, std::size_t to) {
  constexpr std::size_t cycle = 4 * quarter;
  double low = 1e9, high = -1e9;
  for (std::size_t s = from; s + cycle <= to; s += 5) {
    double energy = 0;
    for (std::size_t k = s; k < s + cycle; ++k) energy += x[k] * x[k];
    const double db = 20 * std::log10(std::sqrt(2 * energy / cycle) / amplitude + 1e-30);
    low = std::min(low, db);
    high = std::max(high, db);
  }
  return {low, high};
}

TEST(GrainVoices, AHeldToneHoldsAcrossLargeChangesOfTheGrain) {
  // Grains 25 or 100 times longer or shorter at once, or 200 times shorter:
  // the chain holds, catching up gradually on the score after a shrink.
  for (auto [from_ms, to_ms] : {std::pair{1, 25}, {25, 1}, {1, 100}, {100, 1}, {200, 1}}) {
    const double first = from_ms / 1000.0, then = to_ms / 1000.0;
    std::vector<double> durations(static_cast<std::size_t>(0.1 / first) + 2, first);
    durations.insert(durations.end(), static_cast<std::size_t>(0.25 / then) + 3, then);
    double last = 0;  // the last note's score time
    for (std::size_t k = 0; k + 1 < durations.size(); ++k) last += durations[k];
    // Each alone, in the middle; their chains 0.62, 0.24 and 0.85 grains late.
    for (int instrument : {1, 2, 3}) {
      SCOPED_TRACE(::testing::Message() << from_ms << " to " << to_ms << " ms, instrument " << instrument);
      const stereo out = play({instrument}, held(durations), last + 0.2);
      // From the first note's fall to the last one's score time.
      const std::size_t steady = sample(late + 2 * first), end = sample(last);
      const auto [low, high] = level_range(out.left, std::cos(std::numbers::pi / 4), steady, end);
      EXPECT_TRUE(low > -0.5 && high < 0.5) << low << " .. " << high << " dB";
      EXPECT_LT(sine_error(out.left, steady, end), 1e-9);
    }
  }
}

TEST(GrainVoices, TheColumnPansAndTheTaperScales) {
  const std::vector<double> durations(40, 0.005);
  // Four instruments: a 2 x 2 grid, columns 0 and 1; only one sounds at a time.
  struct {
    int instrument, top;
    double amplitude, left, right;
  } const cases[] = {
      {3, 4, 500, std::pow(0.5, 1.6), 0},
      {2, 4, 2000, 0, std::pow(2.0, 1.6)},
      {2, 4, 2600, 0, std::pow(2.0, 1.6)},   // beyond the files' limit
      {5, 9, 1000, std::cos(std::numbers::pi / 4), std::sin(std::numbers::pi / 4)},
      {4, 4, 100, 0, std::pow(0.1, 1.6)},    // itself the top: column (4 - 1) mod 2
      {1, 1, 10, std::pow(0.01, 1.6) * std::cos(std::numbers::pi / 4),
       std::pow(0.01, 1.6) * std::sin(std::numbers::pi / 4)},
  };
  for (const auto& c : cases) {
    grain_voices voices(rate, period);
    double t = 0;
    for (double d : durations) {
      voices.add({c.instrument, t, d, c.amplitude, hz});
      if (c.top != c.instrument) voices.add({c.top, t, d, 1000, 0});  // silent, sets the grid
      t += d;
    }
    std::vector<double> left(sample(t)), right(sample(t));
    voices.render(left.data(), right.data(), left.size());
    EXPECT_LT(envelope_error(left, c.left, sample(0.03), sample(0.19)), 1e-9) << c.instrument;
    EXPECT_LT(envelope_error(right, c.right, sample(0.03), sample(0.19)), 1e-9) << c.instrument;
  }
}

// A note at 0 Hz, at Nyquist or above is silent; the wave goes on beneath
// it, and the notes after it chain into one steady sine (at 0 Hz the same
// sine as before the gap).
TEST(GrainVoices, ASilentNoteKeepsItsPlaceInTheChain) {
  std::vector<onset_plan> plan = held(std::vector<double>(40, 0.005));
  const std::size_t before = sample(0.02), gap_from = sample(0.095), after = sample(0.125);
  for (double f : {0.0, rate / 2, 30000.0}) {
    plan[20].frequency = f;  // note 20 of 40
    const stereo out = play({1}, plan, 0.3);
    const double a = envelope(out.left, before);
    EXPECT_LT(sine_error(out.left, before, gap_from), 1e-9) << f;
    EXPECT_LT(envelope_error(out.left, a, after, sample(0.19)), 1e-9) << f;
    double quietest = 1;
    for (std::size_t s = gap_from; s < after; ++s)
      quietest = std::min(quietest, envelope(out.left, s));
    EXPECT_LT(quietest, 0.01) << f;
    if (f != 0) continue;
    const double phase = std::atan2(out.left[before], out.left[before + quarter]);
    for (std::size_t s = after; s < sample(0.19); s += 37)
      EXPECT_NEAR(out.left[s],
                  a * std::sin(phase + 2 * std::numbers::pi * hz * (s - before) / rate), 1e-9);
  }
}

TEST(GrainVoices, TheVoiceCountFollowsTheOnsetsAsTheyBeginAndTheKeepCoversTheLastWindow) {
  grain_voices voices(rate, period);
  EXPECT_EQ(voices.voices(), 1);
  EXPECT_EQ(voices.now(), 0.0);
  for (int i = 1; i <= 4; ++i) voices.add({i, 0.0, 0.005, 1000, i == 3 ? 0.0 : 440.0});
  // 0.01 s is sample 441: control period 14, starting at sample 448.
  voices.add({1, 0.01, 0.02, 1000, 440});
  voices.add({2, 0.01, 0.02, 0, 440});
  voices.add({3, 0.01, 0.02, 1000, 880});
  std::vector<double> left(1000), right(1000);
  voices.render(left.data(), right.data(), 32);
  EXPECT_EQ(voices.voices(), 3);
  voices.render(left.data(), right.data(), 448 - 32);
  EXPECT_EQ(voices.voices(), 3);
  EXPECT_DOUBLE_EQ(voices.now(), 448 / rate);
  voices.render(left.data(), right.data(), 32);
  EXPECT_EQ(voices.voices(), 2);

  // Instrument 4's first note: nominal start, a full-grain rise and fall.
  // Instrument 3's second: chained after its first, or at its place.
  const double first4 = late + std::fmod(0.6180339887 * 4, 1.0) * 0.005 + 2 * 0.005;
  const double nominal3 = 0.01 + late + std::fmod(0.6180339887 * 3, 1.0) * 0.02;
  EXPECT_NEAR(voices.keep_until(), std::max(first4, nominal3 + 2 * 0.02) + tail, 1e-12);

  grain_voices none(rate, period);
  for (int i = 1; i <= 4; ++i) none.add({i, 0.0, 0.005, 0, 440});
  none.render(left.data(), right.data(), 64);
  EXPECT_EQ(none.voices(), 1);
  EXPECT_GT(none.keep_until(), 0.01);
}

TEST(GrainVoices, AbsurdNotesAreIgnoredOrPlayWithoutHarm) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  constexpr double inf = std::numeric_limits<double>::infinity();
  grain_voices voices(rate, period);
  voices.add({0, 0, 0.005, 1000, 440});
  voices.add({101, 0, 0.005, 1000, 440});
  voices.add({1, nan, 0.005, 1000, 440});
  voices.add({2, 0, inf, 1000, 440});
  voices.add({3, 0, 0.005, nan, 440});
  voices.add({4, 0, 0.005, 1000, -inf});
  EXPECT_EQ(voices.keep_until(), 0.0);
  voices.add({5, 0, 1e300, 1000, 1e300});  // a grain for ages at an absurd pitch: silent
  voices.add({5, 0.001, -1, 1000, 440});   // a negative grain: one sample's
  voices.add({6, 1e300, 0.005, 1000, 440});
  std::vector<double> left(4096), right(4096);
  voices.render(left.data(), right.data(), left.size());
  for (double x : left) ASSERT_TRUE(std::isfinite(x));
  EXPECT_TRUE(std::isfinite(voices.keep_until()));
  EXPECT_EQ(voices.voices(), 1);
}

}  // namespace
