// Sound through the real csound, each test in a fresh directory holding a
// copy of zelmora.orc.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <numbers>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/csound.h"
#include "engine/render.h"
#include "files/event_file.h"
#include "files/param_file.h"
#include "tests/core/test_support.h"
#include "tests/ui/output_capture.h"

namespace fs = std::filesystem;
using test_support::slurp;

namespace {

using samples = std::vector<std::int16_t>;
using strings = std::vector<std::string>;

constexpr int sample_rate = 44100;  // zelmora.orc's sr
constexpr int block = 32;           // and its ksmps

samples samples_of(const std::string& little_endian) {
  samples s(little_endian.size() / 2);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<std::int16_t>(static_cast<unsigned char>(little_endian[2 * i]) |
                                     static_cast<unsigned char>(little_endian[2 * i + 1]) << 8);
  return s;
}

int peak_of(const samples& s) {
  int peak = 0;
  for (const auto v : s) peak = std::max(peak, std::abs(static_cast<int>(v)));
  return peak;
}

std::string output_of(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string out;
  for (int c; pipe && (c = std::fgetc(pipe.get())) != EOF;) out.push_back(static_cast<char>(c));
  return out;
}

// The score's length, plus one 25 ms grain while the last notes fade out
// and up to three control blocks.
void expect_duration(std::size_t count, double seconds) {
  EXPECT_GE(count, (seconds + 0.025) * sample_rate) << count;
  EXPECT_LE(count, (seconds + 0.025) * sample_rate + 3 * block) << count;
}

// The strongest whole frequency from lo to hi Hz over the first second (Goertzel).
int strongest_frequency(const samples& s, int lo, int hi) {
  const std::size_t n = std::min<std::size_t>(s.size(), sample_rate);
  int best = lo;
  double best_power = -1.0;
  for (int f = lo; f <= hi; ++f) {
    const double coeff = 2.0 * std::cos(2.0 * std::numbers::pi * f / sample_rate);
    double s1 = 0.0, s2 = 0.0;
    for (std::size_t i = 0; i < n; ++i) s2 = std::exchange(s1, s[i] + coeff * s1 - s2);
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    if (power > best_power) {
      best_power = power;
      best = f;
    }
  }
  return best;
}


// Power spectrum (bins 0 to n/2) of the samples under a Hann window,
// zero-padded to a power of two; radix-2 FFT.
struct spectrum {
  std::vector<double> power;
  double bin_hz;

  explicit spectrum(const samples& s) {
    std::size_t n = 1;
    while (n < s.size()) n *= 2;
    std::vector<std::complex<double>> a(n);
    for (std::size_t i = 0; i < s.size(); ++i)
      a[i] = s[i] * std::pow(std::sin(std::numbers::pi * (i + 0.5) / s.size()), 2);
    for (std::size_t i = 1, j = 0; i < n; ++i) {
      std::size_t bit = n >> 1;
      for (; j & bit; bit >>= 1) j ^= bit;
      j ^= bit;
      if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len *= 2)
      for (std::size_t i = 0; i < n; i += len)
        for (std::size_t k = 0; k < len / 2; ++k) {
          const auto t = std::polar(1.0, -2 * std::numbers::pi * k / len) * a[i + k + len / 2];
          a[i + k + len / 2] = a[i + k] - t;
          a[i + k] += t;
        }
    for (std::size_t k = 0; k <= n / 2; ++k) power.push_back(std::norm(a[k]));
    bin_hz = static_cast<double>(sample_rate) / n;
  }
  double between(double lo_hz, double hi_hz) const {
    double sum = 0.0;
    for (std::size_t k = 0; k < power.size(); ++k)
      if (k * bin_hz >= lo_hz && k * bin_hz <= hi_hz) sum += power[k];
    return sum;
  }
  double total() const { return between(0.0, sample_rate); }
};

double decibels(double power_ratio) { return 10 * std::log10(power_ratio); }

// The loudest of harmonics 2 to 10 against the fundamental.
double worst_harmonic_db(const spectrum& sp, double f) {
  double worst = -300.0;
  for (int h = 2; h <= 10; ++h)
    worst = std::max(worst, decibels(sp.between(h * f - 5, h * f + 5) / sp.between(f - 5, f + 5)));
  return worst;
}

class sound_test : public test_support::core_test {
 protected:
  void SetUp() override {
    core_test::SetUp();
    old_dir_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "zelmora-sound-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    fs::create_directories(dir_ / "tmp");
    fs::copy_file(ZELMORA_ORCHESTRA, dir_ / orchestra_name);
    fs::current_path(dir_);
  }
  void TearDown() override {
    core_test::TearDown();
    fs::current_path(old_dir_);
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // zelmora-render with its temporary files in tmp/; its stderr kept.
  int render(const std::string& arguments) {
    const int raw = std::system(("TMPDIR=tmp " + shell_word(ZELMORA_RENDER) + " " + arguments +
                                 " >/dev/null 2>render.err")
                                    .c_str());
    render_err_ = slurp("render.err");
    fs::remove("render.err");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  fs::path old_dir_, dir_;
  std::string render_err_;
};

TEST_F(sound_test, SoundFilesGetTheHeaderTheirNameAsksForUnderTheNameAsTyped) {
  // Any other name keeps csound's headerless 16-bit samples.
  Current_State.iter = 40;
  const std::pair<const char*, const char*> cases[] = {
      {"my take.raw", ""},   {"out.au; touch x", ""}, {"out.wav", "wav"},
      {"out.snd", "au"},     {"out.AIFF", "aiff"},     {"out.flac", "flac"}};
  for (const auto& [name, type] : cases) {
    SCOPED_TRACE(name);
    ASSERT_EQ(make_sound_file(name), 0);
    if (*type == '\0') {
      expect_duration(fs::file_size(name) / 2, 40 * 0.025);
      continue;
    }
    EXPECT_EQ(output_of("soxi -t " + shell_word(name)), std::string(type) + "\n");
    expect_duration(std::stoul(output_of("soxi -s " + shell_word(name))), 40 * 0.025);
  }
  EXPECT_EQ(files_in("."), (strings{"my take.raw", "out.AIFF", "out.au; touch x", "out.flac",
                                    "out.snd", "out.wav", "tmp", orchestra_name}));
}

TEST_F(sound_test, TheDefaultsPlayOnTheAudioDevice) {
  // No sound card here: ALSA's default device becomes the null device.
  fs::create_directory("home");
  test_support::spit("home/.asoundrc", "pcm.!default { type null }\n");
  const std::string old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::setenv("HOME", (dir_ / "home").c_str(), 1);
  const int result = play_on_audio_device();
  ::setenv("HOME", old_home.c_str(), 1);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(files_in("."), (strings{"home", "tmp", orchestra_name}));
}

TEST_F(sound_test, AFailingCsoundIsReportedAndLeavesNoScore) {
  Current_State.iter = 40;
  for (const bool orchestra : {true, false}) {
    if (!orchestra) fs::remove(orchestra_name);
    int result = 0;
    const char* sound_file = orchestra ? "missing/out.raw" : "out.raw";
    const captured_output o = capture([&] { result = make_sound_file(sound_file); });
    EXPECT_EQ(result, -1) << sound_file;
    // A directory that takes no file is said before any render.
    EXPECT_TRUE(o.err.ends_with(orchestra ? "Can't open file missing/out.raw\n"
                                          : "csound failed with exit status 1\n"))
        << o.err;
    EXPECT_EQ(files_in("."), (orchestra ? strings{"tmp", orchestra_name} : strings{"tmp"}));
  }
  ASSERT_EQ(render("--iterations 40 --orchestra missing.orc --sound out.wav"), 1);
  EXPECT_NE(render_err_.find("failed to open input file - missing.orc\n"), std::string::npos)
      << render_err_;
  EXPECT_NE(render_err_.find("csound failed with exit status 1\n"), std::string::npos);
  EXPECT_TRUE(
      render_err_.ends_with("zelmora-render: no sound file made (orchestra missing.orc)\n"));
  EXPECT_EQ(files_in("."), strings{"tmp"});
  EXPECT_EQ(files_in("tmp"), strings{});
}

TEST_F(sound_test, TheRendererWritesWavUnlessTheNameAsksForAnotherHeader) {
  const struct {
    int voices;
    const char* options;
    const char* type;
  } cases[] = {{25, "--sound out.au", "au"}, {100, "--sound out.take --verbose", "wav"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    parameters_type p = Current_State;
    p.noinstrm = c.voices;
    for (int s = 0; s < p.Ns; ++s) p.states[s] = static_cast<float>(std::log(440.0) / 0.096);
    for (int i = 0; i < c.voices; ++i) p.instrm[i] = 100.0f;
    test_support::temp_stream text;
    write_parameters(text.get(), p);
    test_support::spit("a440.csp", text.text());
    ASSERT_EQ(render(std::string("--params a440.csp --iterations 40 ") + c.options), 0)
        << render_err_;
    // csound's chatter shows only with --verbose.
    EXPECT_EQ(render_err_.find("overall samples out of range") != std::string::npos,
              c.voices == 100)
        << render_err_;
    const std::string name = c.voices == 100 ? "out.take" : "out.au";
    EXPECT_EQ(output_of("for o in t e r c b; do soxi -$o " + name + "; done"),
              std::string(c.type) + "\nSigned Integer PCM\n44100\n1\n16\n");
    const samples s = samples_of(output_of("sox -t " + std::string(c.type) + " " + name + " -t s16 -"));
    expect_duration(s.size(), 40 * 0.025);
    EXPECT_NEAR(strongest_frequency(s, 50, 2000), 440, 1);
    EXPECT_EQ(files_in("tmp"), strings{});
  }
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
      std::FILE* fp = std::fopen((std::string(ZELMORA_EXAMPLES) + "/" + c.what).c_str(), "r");
      ASSERT_NE(fp, nullptr);
      ASSERT_EQ(read_event_list(fp), 1);
      std::fclose(fp);
    } else {
      for (int s = 0; s < Current_State.Ns; ++s)
        Current_State.states[s] = static_cast<float>(std::log(c.hz) / 0.096);
      Current_State.noinstrm = c.voices;
      for (int i = 0; i < c.voices; ++i) Current_State.instrm[i] = static_cast<float>(c.position);
      Current_State.dur = static_cast<float>(c.grain);
      Current_State.iter = c.iterations;
    }
    ASSERT_EQ(make_sound_file("take.raw"), 0);
    const samples s = samples_of(slurp("take.raw"));
    ASSERT_FALSE(s.empty());
    const spectrum sp(s);
    double sum = 0.0;
    for (const auto v : s) sum += v;
    const double dc_dbfs = 20 * std::log10(std::abs(sum / s.size()) / 32768 + 1e-12);
    const double share = c.hz == 0 ? 0 : sp.between(c.hz - c.near_hz, c.hz + c.near_hz) / sp.total();
    const double below_20_db = decibels(sp.between(0, 20) / sp.total());
    const double harmonics_db = c.hz == 0 ? 0 : worst_harmonic_db(sp, c.hz);
    const auto at_full_scale = std::count_if(s.begin(), s.end(), [](int v) { return std::abs(v) >= 32767; });
    std::printf("%-18s share %5.1f %%  DC %6.1f dBFS  below 20 Hz %6.1f dB  harmonics %6.1f dB  "
                "peak %5d  at full scale %ld\n",
                c.what, 100 * share, dc_dbfs, below_20_db, harmonics_db, peak_of(s),
                static_cast<long>(at_full_scale));
    EXPECT_GE(share, c.share_at_least);
    EXPECT_LE(dc_dbfs, c.dc_dbfs_at_most);
    EXPECT_LE(below_20_db, c.below_20_db_at_most);
    EXPECT_LE(harmonics_db, c.harmonics_db_at_most);
    EXPECT_EQ(at_full_scale, 0);
    EXPECT_LE(peak_of(s), 29300) << "above the ceiling";  // -1 dBFS is 29204.5
    EXPECT_GT(peak_of(s), 3000) << "barely audible";
  }
}

// A shipped preset and the reduction it is meant for (1: mode).
using preset = std::pair<const char*, int>;
class presets_test : public sound_test, public ::testing::WithParamInterface<preset> {};

// Different grains (all voices' frequencies of one iteration) among the
// last 100 of 600; a dead grid repeats one.
int distinct_late_grains() {
  Current_State.iter = 600;
  EXPECT_EQ(play_ca(std::fopen("grains.sco", "w")), render_complete);  // closes it
  std::vector<std::string> grains;
  std::string last_start;
  for (const std::string& line : test_support::lines_of(slurp("grains.sco"))) {
    std::istringstream fields(line);
    std::string instrument, start, dur, amp, freq;
    if (!(fields >> instrument >> start >> dur >> amp >> freq) || instrument[0] != 'i') continue;
    if (grains.empty() || start != last_start) grains.emplace_back();
    grains.back() += freq + " ";
    last_start = start;
  }
  EXPECT_EQ(grains.size(), 600u);
  if (grains.size() < 100) return 0;
  return static_cast<int>(std::set(grains.end() - 100, grains.end()).size());
}

TEST_P(presets_test, StaysAliveAndSoundsUnclipped) {
  // As the Load dialogs load them: an event list plays over the defaults.
  const fs::path file = fs::path(ZELMORA_EXAMPLES) / GetParam().first;
  const bool event_list = file.extension() == ".cse";
  std::FILE* fp = std::fopen(file.c_str(), "r");
  ASSERT_NE(fp, nullptr);
  const int result = event_list ? read_event_list(fp) : read_parameters(fp, Current_State);
  std::fclose(fp);
  ASSERT_EQ(result, event_list ? 1 : 0) << "refused";
  Mean_Mode = GetParam().second;
  // Every render seeds the grid afresh: two different seedings.
  for (int render = 0; render < 2; ++render)
    EXPECT_GE(distinct_late_grains(), 75) << "render " << render;
  Current_State.iter = 160;
  ASSERT_EQ(make_sound_file("take.raw"), 0);
  const int peak = peak_of(samples_of(slurp("take.raw")));
  EXPECT_GT(peak, 3000) << "barely audible";
  EXPECT_LT(peak, 32767) << "clipped";
}

INSTANTIATE_TEST_SUITE_P(Presets, presets_test,
                         ::testing::Values(preset{"spirals.csp", 0}, preset{"turbulence.csp", 0},
                                           preset{"slow-waves.csp", 0}, preset{"rain.csp", 0},
                                           preset{"pentatonic.csp", 1}, preset{"chimes.csp", 1},
                                           preset{"calm-to-storm.cse", 0},
                                           preset{"glissando.cse", 0}));

}  // namespace
