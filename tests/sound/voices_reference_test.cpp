// The C++ grain voices against the orchestra's instruments they replace,
// run by the real csound (tests/sound/voices_reference.orc), sample for
// sample on csound's raw bus.
#include <cstring>

#include "dsp/grain_voices.h"
#include "tests/core/test_support.h"

namespace {

constexpr double rate = 44100;
constexpr int period = 32;

// A note's fields as the score writes them ("%f") and csound reads them back.
std::string scored(const note& n) {
  return "i" + std::to_string(n.instrument) + " " + std::to_string(n.start) + " " +
         std::to_string(n.duration) + " " + std::to_string(n.amplitude) + " " +
         std::to_string(n.frequency);
}
note as_scored(const note& n) {
  note read{n.instrument};
  std::istringstream(scored(n).substr(scored(n).find(' '))) >> read.start >> read.duration >>
      read.amplitude >> read.frequency;
  return read;
}

// Nine voices (a 3 x 3 grid) through grains of 1 to 50 ms and back,
// gliding, with silent blocks (0 Hz, Nyquist, no amplitude) and every
// level from 0 to 2000. The grain grows at most 2.5 times and shrinks at
// most 4 times at once: beyond that the orchestra broke its chains.
std::vector<note> busy_score() {
  std::vector<note> notes;
  double t = 0;
  int k = 0;
  for (auto [grain, count] : {std::pair{0.001, 40}, {0.002, 20}, {0.005, 8}, {0.010, 5},
                              {0.025, 4}, {0.050, 3}, {0.025, 4}, {0.010, 6}, {0.004, 8},
                              {0.001, 40}}) {
    for (int c = 0; c < count; ++c, ++k, t += grain)
      for (int i = 1; i <= 9; ++i) {
        double hz = 110.0 * i * (1 + 0.004 * k);
        if ((k / 7 + i) % 6 == 0) hz = 0;
        if (k % 23 == i) hz = rate / 2;
        notes.push_back(as_scored({i, t, grain, 250.0 * ((k + i) % 9), hz}));
      }
  }
  return notes;
}

TEST(GrainVoicesSound, TheVoicesPlayWhatCsoundsInstancesPlayedSampleForSample) {
  const test_support::working_dir dir{"zelmora-voices-"};
  const std::vector<note> notes = busy_score();
  {
    std::ofstream score("voices.sco");
    score << "f1 0 8192 10 1\n";
    for (const note& n : notes) score << scored(n) << "\n";
    score << "e\n";
  }
  ASSERT_EQ(std::system("csound -f -h -o voices.raw " ZELMORA_VOICES_REFERENCE
                        " voices.sco >csound.log 2>&1"),
            0)
      << test_support::slurp("csound.log");
  const std::string raw = test_support::slurp("voices.raw");
  std::vector<float> bus(raw.size() / sizeof(float));
  std::memcpy(bus.data(), raw.data(), bus.size() * sizeof(float));
  const std::size_t frames = bus.size() / 2;
  ASSERT_GT(frames, static_cast<std::size_t>(0.3 * rate));

  grain_voices voices(rate, period);
  std::vector<double> left(frames + period), right(frames + period);
  std::size_t next = 0;
  for (std::size_t s = 0; s < frames; s += period) {
    const double until = static_cast<double>(s + 2 * period) / rate;
    while (next < notes.size() && notes[next].start < until) voices.add(notes[next++]);
    voices.render(&left[s], &right[s], period);
  }
  // csound's floats hold the bus (peaks of about 7) to a few 1e-7.
  double worst = 0, peak = 0;
  for (std::size_t s = 0; s < frames; ++s) {
    worst = std::max({worst, std::abs(left[s] - bus[2 * s]), std::abs(right[s] - bus[2 * s + 1])});
    peak = std::max(peak, std::abs(static_cast<double>(bus[2 * s])));
  }
  EXPECT_GT(peak, 1.0);
  EXPECT_LT(worst, 4e-6);
}

}  // namespace
