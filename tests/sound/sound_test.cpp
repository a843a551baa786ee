// Sound through the real csound, each test in a fresh directory holding a
// copy of zelmora.orc.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
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

// csound ends on a control block: the length is the score's to a block.
void expect_duration(std::size_t count, double seconds) {
  EXPECT_LT(std::abs(static_cast<double>(count) - seconds * sample_rate), block) << count;
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

TEST_F(sound_test, SoundFilesAreRawMonoSamplesUnderTheirNamesAsTyped) {
  ASSERT_EQ(make_sound_file("my take.raw"), 0);
  const std::string bytes = slurp("my take.raw");
  ASSERT_EQ(bytes.size() % 2, 0u);
  const samples s = samples_of(bytes);
  expect_duration(s.size(), 600 * 0.025);
  // 25 voices at 500 in unison: half of full scale.
  EXPECT_GT(peak_of(s), 16000);
  EXPECT_LE(peak_of(s), 16384);
  Current_State.iter = 40;
  ASSERT_EQ(make_sound_file("out.au; touch x"), 0);
  expect_duration(fs::file_size("out.au; touch x") / 2, 40 * 0.025);
  EXPECT_EQ(files_in("."), (strings{"my take.raw", "out.au; touch x", "tmp", orchestra_name}));
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
    EXPECT_TRUE(o.err.ends_with("csound failed with exit status 1\n")) << o.err;
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

TEST_F(sound_test, TheRendererWritesCleanWavFilesAtTheStatesPitch) {
  // 440 Hz fills a 25 ms grain with whole cycles, so the grains join into
  // one steady tone. A hundred voices at 1000 would be four times full
  // scale: the orchestra limits them instead of clipping.
  const struct {
    int voices;
    float position;
    const char* options;
    int peak_above, peak_at_most;
  } cases[] = {{25, 50.0f, "", 16000, 16384}, {100, 100.0f, " --verbose", 26000, 28499}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.voices);
    parameters_type p = Current_State;
    p.noinstrm = c.voices;
    for (int s = 0; s < p.Ns; ++s) p.states[s] = static_cast<float>(std::log(440.0) / 0.096);
    for (int i = 0; i < c.voices; ++i) p.instrm[i] = c.position;
    test_support::temp_stream text;
    write_parameters(text.get(), p);
    test_support::spit("a440.csp", text.text());
    ASSERT_EQ(render(std::string("--params a440.csp --iterations 40 --sound out.wav") + c.options),
              0)
        << render_err_;
    // csound's chatter shows only with --verbose.
    EXPECT_EQ(render_err_.find("overall samples out of range") != std::string::npos,
              *c.options != '\0')
        << render_err_;
    EXPECT_EQ(output_of("for o in t e r c b; do soxi -$o out.wav; done"),
              "wav\nSigned Integer PCM\n44100\n1\n16\n");
    const samples s = samples_of(output_of("sox out.wav -t s16 -"));
    expect_duration(s.size(), 40 * 0.025);
    EXPECT_GT(peak_of(s), c.peak_above);
    EXPECT_LE(peak_of(s), c.peak_at_most);
    EXPECT_NEAR(strongest_frequency(s, 50, 2000), 440, 1);
    EXPECT_EQ(files_in("tmp"), strings{});
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
