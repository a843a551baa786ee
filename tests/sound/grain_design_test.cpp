// The grain design and the Master through the real csound: every key does
// what it says, a mute never swells, a unison sums alike in both channels,
// the limiter neither pumps nor acts when off, 24-bit samples round.
#include <cmath>
#include <functional>
#include <numeric>

#include "engine/csound/grain_plugin.h"
#include "engine/externs.h"
#include "files/event_file.h"
#include "tests/live/live_support.h"
#include "tests/sound/sound_measures.h"

using namespace sound_measures;

namespace {

class grain_design_test : public live_test {
 public:
  // `voices` blocks each at its own pitch, or all at `hz` when it is given.
  void piece(int voices, double grain, int iterations, double position, double hz = 0) {
    core_test::SetUp();
    for (int s = 0; s < Current_State.Ns; ++s)
      Current_State.states[s] = static_cast<float>(std::log(hz > 0 ? hz : 220.0 + 37.0 * s) / 0.096);
    std::fill_n(Current_State.instrm.begin(), voices, static_cast<float>(position));
    Current_State.noinstrm = voices;
    Current_State.dur = static_cast<float>(grain);
    Current_State.iter = iterations;
    std::srand(1);
  }
  // A shipped set, at `position` (or its own levels when 0).
  void preset(const char* name, int iterations, double position = 0) {
    core_test::SetUp();
    const file_ptr fp = open_for_reading(example(name));
    ASSERT_EQ(read_parameter_file(fp.get(), Current_State, Mean_Mode, &Grain_Design), 0);
    if (position > 0) std::fill_n(Current_State.instrm.begin(), Current_State.noinstrm, position);
    Current_State.iter = iterations;
    std::srand(1);
  }
  stereo take(const std::string& name = "take.wav") {
    EXPECT_EQ(make_sound_file(name), 0);
    return read_sound(name);
  }
  // The set now, changed at iteration `at` to one where all but `kept`
  // instruments are silent.
  void mute_at(int at, int kept) {
    parameters_type muted = Current_State;
    std::fill(muted.instrm.begin() + kept, muted.instrm.end(), 0.0f);
    file_ptr out(std::fopen("mute.cse", "w"));
    std::fprintf(out.get(), "event\ntype=1\ntime=%d\nname=mute\n", at);
    write_parameters(out.get(), muted);
    out.reset();
    const file_ptr in = open_for_reading("mute.cse");
    ASSERT_EQ(read_event_list(in.get()), 1);
  }
};

double peak_in(const stereo& s, double from, double to) {
  const auto a = static_cast<std::size_t>(from * sample_rate);
  const auto b = std::min(s.frames(), static_cast<std::size_t>(to * sample_rate));
  double peak = 0;
  for (std::size_t i = a; i < b; ++i) peak = std::max({peak, std::abs(s.left[i]), std::abs(s.right[i])});
  return peak;
}

double power(const channel& c) { return std::inner_product(c.begin(), c.end(), c.begin(), 0.0); }

stereo slice(const stereo& s, double from, double to) {
  const auto b = static_cast<std::ptrdiff_t>(std::min<double>(s.frames(), to * sample_rate));
  const auto a = std::min(b, static_cast<std::ptrdiff_t>(from * sample_rate));
  return {{s.left.begin() + a, s.left.begin() + b}, {s.right.begin() + a, s.right.begin() + b}};
}

// The level (dB) of the limiter's gain over time: a render at positions
// 200 against the same at 20 (far below the ceiling), in 20 ms windows.
std::vector<double> gain_curve(const stereo& loud, const stereo& quiet) {
  std::vector<double> db;
  const std::size_t window = sample_rate / 50;
  for (std::size_t i = sample_rate; i + window < std::min(loud.frames(), quiet.frames()) - sample_rate / 2;
       i += window) {
    const stereo a = slice(loud, double(i) / sample_rate, double(i + window) / sample_rate);
    const stereo b = slice(quiet, double(i) / sample_rate, double(i + window) / sample_rate);
    db.push_back(decibels(mean_square(a) / mean_square(b)));
  }
  return db;
}

TEST_F(grain_design_test, EveryKeyAndFixSoundsAsItSays) {
  const struct {
    const char* what;
    std::function<void(grain_design_test&)> check;
  } cases[] = {
      {"a mute of all or most voices never swells",
       [](grain_design_test& t) {
         for (const int kept : {0, 1}) {  // spirals muted at 0.6 s
           t.preset("spirals.csp", 40);
           t.mute_at(20, kept);
           const stereo s = t.take();
           const double at = 20 * 0.03 + 0.0015;  // the limiter's delay
           EXPECT_LE(peak_in(s, at, at + 0.1), peak_in(s, at - 0.1, at)) << kept << " kept";
         }
       }},
      {"the score's table 1 is the wave: a square's odd harmonics",
       [](grain_design_test&) {
         std::string notes;
         for (int k = 0; k < 40; ++k) notes += "i1 " + std::to_string(k * 0.025) + " 0.025 500 440\n";
         test_support::spit("notes.sco", "f1 0 8192 10 1 0 0.333 0 0.2\n" + notes);
         const std::string hand = "csound -d -m0 --opcode-lib='" + find_grain_plugin().path +
                                  "' -W -o hand.wav zelmora.orc notes.sco >hand.log 2>&1";
         ASSERT_EQ(std::system(hand.c_str()), 0) << test_support::slurp("hand.log");
         const spectrum sp(read_sound("hand.wav"));
         EXPECT_NEAR(decibels(sp.share(1315, 1325) / sp.share(435, 445)), -9.5, 1);
       }},
      {"wave=saw: a second harmonic, nothing folded",
       [](grain_design_test& t) {
         t.piece(1, 0.025, 80, 50, 1500);
         Grain_Design.wave = grain_wave::saw;
         const spectrum sp(slice(t.take(), 0.3, 1.8));
         EXPECT_GE(decibels(sp.share(2990, 3010) / sp.share(1490, 1510)), -9);
         // Every 10 Hz band away from the harmonics: what folded back.
         double folded = 0;
         for (double hz = 20; hz < 22040; hz += 10)
           if (std::abs(std::remainder(hz, 1500.0)) > 25)
             folded = std::max(folded, sp.share(hz - 5, hz + 5));
         EXPECT_LE(decibels(folded / sp.share(1490, 1510)), -80) << "folded";
       }},
      {"width=0: identical channels, whatever the jitter",
       [](grain_design_test& t) {
         t.piece(25, 0.01, 100, 50);
         Grain_Design.width = 0;
         Grain_Design.jitter = 1;
         Grain_Design.window = grain_window::gauss;
         Grain_Design.overlap = 3;
         const stereo s = t.take();
         EXPECT_GT(sample_peak(s), 0.05);
         EXPECT_EQ(s.left, s.right);
       }},
      {"space=0.5: a decaying tail half a second after the last note",
       [](grain_design_test& t) {
         t.piece(9, 0.025, 40, 50);
         Grain_Design.space = 0.5;
         const stereo s = t.take();
         const double end = 40 * 0.025 + 0.05;
         const double later = mean_square(slice(s, end + 0.5, end + 0.6));
         EXPECT_GT(dbfs(std::sqrt(later)), -70);
         EXPECT_LT(later, mean_square(slice(s, end + 0.3, end + 0.4)));
       }},
      {"25 voices on one pitch: balanced, nothing lost in mono",
       [](grain_design_test& t) {
         for (const double grain : {0.001, 0.005, 0.025}) {
           t.piece(25, grain, static_cast<int>(1 / grain), 50, 440);
           const stereo s = slice(t.take(), 0.2, 0.9);
           EXPECT_NEAR(decibels(power(s.left) / power(s.right)), 0, 1) << grain;
           stereo mono = s;
           for (std::size_t i = 0; i < s.frames(); ++i)
             mono.left[i] = mono.right[i] = (s.left[i] + s.right[i]) / 2;
           EXPECT_LE(integrated_lufs(s) - integrated_lufs(mono), 1.5) << grain;
         }
       }},
      {"the limiter holds at positions 200 and stays out of the way when off",
       [](grain_design_test& t) {
         t.preset("turbulence.csp", 300, 200);
         const stereo loud = t.take("loud.wav");
         t.preset("turbulence.csp", 300, 20);
         const stereo quiet = t.take("quiet.wav");
         // The gain against what the taper alone makes of positions 200 and 20.
         std::vector<double> gain = gain_curve(loud, quiet);
         for (double& g : gain) g -= 20 * 1.6;
         EXPECT_LT(*std::min_element(gain.begin(), gain.end()), -3) << "it limits";
         double swing = 0;  // within any 300 ms
         for (std::size_t i = 0; i + 15 <= gain.size(); ++i) {
           const auto [low, high] = std::minmax_element(gain.begin() + i, gain.begin() + i + 15);
           swing = std::max(swing, *high - *low);
         }
         EXPECT_LE(swing, 1);
         t.preset("turbulence.csp", 300, 90);  // peaks above the ceiling, below full scale
         Grain_Design.limiter = false;
         const stereo off = t.take("off.wav");
         EXPECT_GT(dbfs(sample_peak(off)), -2);
         const std::vector<double> none = gain_curve(off, quiet);
         const auto [lo, hi] = std::minmax_element(none.begin(), none.end());
         EXPECT_NEAR(*lo, *hi, 0.01) << "no gain reduction";
       }},
      {"24-bit samples round in every format",
       [](grain_design_test& t) {
         t.piece(9, 0.025, 40, 50);
         const stereo exact = t.take("exact.flac");
         for (const char* name : {"take.wav", "take.aif", "take.au"}) {
           std::srand(1);
           const stereo s = t.take(name);
           ASSERT_EQ(s.frames(), exact.frames()) << name;
           double sum = 0;
           for (std::size_t i = 0; i < s.frames(); ++i) sum += (s.left[i] - exact.left[i]) * 0x1p23;
           EXPECT_NEAR(sum / s.frames(), 0, 0.05) << name << ": LSB";
         }
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.check(*this);
  }
}

}  // namespace
