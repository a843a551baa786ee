// Sound through the real csound, each test in a fresh directory holding a
// copy of zelmora.orc, temporary files in its tmp/.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <numeric>
#include <tuple>
#include <utility>

#include "engine/render.h"
#include "files/event_file.h"
#include "tests/live/live_support.h"

using test_support::files_in;
using test_support::slurp;

namespace {

using samples = std::vector<std::int16_t>;
using strings = std::vector<std::string>;

constexpr int sample_rate = 44100;  // zelmora.orc's sr
constexpr int block = 32;           // and its ksmps

// csound's headerless samples are in the machine's byte order.
samples samples_of(const std::string& raw) {
  samples s(raw.size() / 2);
  std::memcpy(s.data(), raw.data(), 2 * s.size());
  return s;
}

std::string output_of(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string out;
  for (int c; pipe && (c = std::fgetc(pipe.get())) != EOF;) out.push_back(static_cast<char>(c));
  return out;
}

// Energy of the Hann-windowed samples on the bins (of a DFT zero-padded to
// a power of two) from lo to hi Hz, one Goertzel filter a bin.
struct spectrum {
  std::vector<double> windowed;
  std::size_t n = 1;
  double total = 0.0;  // of all bins 0 to n/2, by Parseval

  explicit spectrum(const samples& s) {
    while (n < s.size()) n *= 2;
    for (std::size_t i = 0; i < s.size(); ++i)
      windowed.push_back(s[i] * std::pow(std::sin(std::numbers::pi * (i + 0.5) / s.size()), 2));
    for (const double w : windowed) total += w * w * n / 2;
  }
  double between(double lo_hz, double hi_hz) const {
    double sum = 0.0;
    for (auto k = static_cast<std::size_t>(std::ceil(lo_hz * n / sample_rate));
         k * sample_rate <= hi_hz * n; ++k) {
      const double coeff = 2.0 * std::cos(2.0 * std::numbers::pi * k / n);
      double s1 = 0.0, s2 = 0.0;
      for (const double w : windowed) s2 = std::exchange(s1, w + coeff * s1 - s2);
      sum += s1 * s1 + s2 * s2 - coeff * s1 * s2;
    }
    return sum;
  }
};

double decibels(double power_ratio) { return 10 * std::log10(power_ratio); }

using sound_test = live_test;

// The windows' Audio File keeps csound's headerless samples for any other
// name ("" type); the renderer's WAV for those: render_cli_test. Play, on
// the audio device, leaves no file.
TEST_F(sound_test, SoundFilesGetTheHeaderTheirNameAsksForAndPlayLeavesNone) {
  Current_State.iter = 40;
  EXPECT_EQ(play_on_audio_device(), 0);  // the null device, through HOME's .asoundrc
  const std::tuple<const char*, const char*, bool> cases[] = {  // name, type, by the renderer
      {"out.au; touch x", "", false}, {"out.wav", "wav", false}, {"out.au", "au", false},
      {"out.AIF", "aiff", false},     {"out.flac", "flac", false}, {"x.au", "au", true}};
  for (const auto& [name, type, renderer] : cases) {
    SCOPED_TRACE(name);
    ASSERT_EQ(renderer ? run_render("--iterations 40 --sound " + std::string(name))
                       : make_sound_file(name), 0) << err;
    const std::string header = *type ? "-t " + std::string(type) : "-t s16 -r 44100 -c 1";
    // The 40 grains, one more while the last notes fade out, and up to three control blocks.
    const auto count = output_of("sox " + header + " " + shell_word(name) + " -t s16 -").size() / 2;
    EXPECT_TRUE(count >= 41 * 0.025 * sample_rate && count <= 41 * 0.025 * sample_rate + 3 * block)
        << count;
    if (*type) {
      EXPECT_EQ(output_of("soxi -t " + shell_word(name)), std::string(type) + "\n");
    }
  }
  EXPECT_EQ(files_in("."), (strings{"out.AIF", "out.au", "out.au; touch x", "out.flac",
                                    "out.wav", "render.err", "render.out", "tmp", "x.au",
                                    orchestra_name}));
  EXPECT_EQ(files_in("tmp"), strings{});
}

// The figures the grain voice is built for, measured on csound's own output.
// A held pitch: every state at it. Nine voices in unison at full amplitude
// sum above the limiter's ceiling (-1 dBFS); it must hold them there
// without distorting.
TEST_F(sound_test, HeldPitchesSoundAsThemselvesCleanAndWithoutDc) {
  constexpr double any = 1e9;  // no upper bound
  const struct {
    const char* what;
    double hz, grain, position;
    int voices, iterations;
    double near_hz, share_at_least, dc_dbfs_at_most, below_20_db_at_most, harmonics_db_at_most;
  } cases[] = {
      {"110 Hz", 110, 0.025, 50, 25, 80, 5, 0.90, any, any, any},
      {"440 Hz", 440, 0.025, 50, 25, 80, 5, 0.90, any, any, any},
      {"1760 Hz", 1760, 0.025, 50, 25, 80, 5, 0.90, any, any, any},
      {"5000 Hz", 5000, 0.025, 50, 25, 80, 5, 0.90, any, any, any},
      {"1 ms grains", 440, 0.001, 50, 25, 2000, 10, 0.80, any, any, any},
      {"5 ms grains", 440, 0.005, 50, 25, 400, 5, 0.90, -60, any, any},
      {"loud unison", 440, 0.025, 100, 25, 80, 5, 0.90, any, any, -40},
      {"limited unison", 440, 0.025, 100, 9, 80, 5, 0.90, any, any, -40},
      {"calm-to-storm.cse", 0, 0.025, 0, 25, 0, 0, 0, -60, -40, any},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    core_test::SetUp();
    std::srand(1);  // the grid's seeding: the same figures every run
    if (c.hz == 0) {
      const file_ptr fp = open_for_reading(example(c.what));
      ASSERT_TRUE(fp && read_event_list(fp.get()) == 1);
    } else {
      std::fill_n(Current_State.states.begin(), Current_State.Ns, std::log(c.hz) / 0.096);
      std::fill_n(Current_State.instrm.begin(), c.voices, c.position);
      Current_State.noinstrm = c.voices;
      Current_State.dur = static_cast<float>(c.grain);
      Current_State.iter = c.iterations;
    }
    ASSERT_EQ(make_sound_file("take.raw"), 0);
    const samples s = samples_of(slurp("take.raw"));
    ASSERT_FALSE(s.empty());
    const spectrum sp(s);
    const double mean = std::accumulate(s.begin(), s.end(), 0.0) / s.size();
    const double dc_dbfs = 20 * std::log10(std::abs(mean) / 32768 + 1e-12);
    const int peak = std::max(-*std::ranges::min_element(s), +*std::ranges::max_element(s));
    const double share = c.hz == 0 ? 0 : sp.between(c.hz - c.near_hz, c.hz + c.near_hz) / sp.total;
    const double below_20_db = decibels(sp.between(0, 20) / sp.total);
    double harmonics_db = -300.0;  // the loudest of harmonics 2 to 10 against the fundamental
    for (int h = 2; c.hz > 0 && h <= 10; ++h)
      harmonics_db = std::max(harmonics_db, decibels(sp.between(h * c.hz - 5, h * c.hz + 5) /
                                                     sp.between(c.hz - 5, c.hz + 5)));
    EXPECT_GE(share, c.share_at_least);
    EXPECT_LE(dc_dbfs, c.dc_dbfs_at_most);
    EXPECT_LE(below_20_db, c.below_20_db_at_most);
    EXPECT_LE(harmonics_db, c.harmonics_db_at_most);
    EXPECT_LE(peak, 29300) << "above the ceiling";  // -1 dBFS is 29204.5; none at full scale
    EXPECT_GT(peak, 3000) << "barely audible";
  }
}

}  // namespace
