// Sound through the real csound: the rendering commands, zelmora-render
// --sound, the orchestra's levels and the shipped presets. Each test works
// in a fresh directory holding a copy of zelmora.orc.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <numbers>
#include <set>
#include <string>
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

// Little-endian 16-bit samples.
samples samples_of(const std::string& bytes) {
  samples s(bytes.size() / 2);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  return s;
}

int peak_of(const samples& s) {
  int peak = 0;
  for (const auto v : s) peak = std::max(peak, std::abs(static_cast<int>(v)));
  return peak;
}

constexpr int sample_rate = 44100;  // zelmora.orc's sr
constexpr int block = 32;          // and its ksmps

// What a shell command writes on its standard output.
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

// The strongest frequency from lo to hi Hz over the first second (Goertzel).
int strongest_frequency(const samples& s, int lo, int hi) {
  const std::size_t n = std::min<std::size_t>(s.size(), static_cast<std::size_t>(sample_rate));
  int best = lo;
  double best_power = -1.0;
  for (int f = lo; f <= hi; ++f) {
    const double coeff = 2.0 * std::cos(2.0 * std::numbers::pi * f / sample_rate);
    double s1 = 0.0, s2 = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      const double s0 = s[i] + coeff * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
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

  // zelmora-render with its temporary files in tmp/ and its stderr kept.
  int render(const std::string& arguments) {
    const std::string command = "TMPDIR=tmp " + shell_word(ZELMORA_RENDER) + " " + arguments +
                                " >/dev/null 2>render.err";
    const int raw = std::system(command.c_str());
    render_err_ = slurp("render.err");
    fs::remove("render.err");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  // A parameter file whose states all sound at `hertz`.
  static void write_unison_set(const std::string& name, double hertz, int voices, float position) {
    parameters_type p = Current_State;
    p.noinstrm = voices;
    for (int s = 0; s < p.Ns; ++s) p.states[s] = static_cast<float>(std::log(hertz) / 0.096);
    for (int i = 0; i < voices; ++i) p.instrm[i] = position;
    test_support::temp_stream text;
    write_parameters(text.get(), p);
    test_support::spit(name, text.text());
  }

  fs::path old_dir_, dir_;
  std::string render_err_;
};

}  // namespace

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
  const struct {
    const char* sound_file;
    bool orchestra;
  } cases[] = {{"missing/out.raw", true}, {"out.raw", false}};
  for (const auto& c : cases) {
    if (!c.orchestra) fs::remove(orchestra_name);
    int result = 0;
    const captured_output o = capture([&] { result = make_sound_file(c.sound_file); });
    EXPECT_EQ(result, -1) << c.sound_file;
    EXPECT_TRUE(o.err.ends_with("csound failed with exit status 1\n")) << o.err;
    EXPECT_EQ(files_in("."), (c.orchestra ? strings{"tmp", orchestra_name} : strings{"tmp"}));
  }
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
    write_unison_set("a440.csp", 440.0, c.voices, c.position);
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

TEST_F(sound_test, TheRendererExplainsACsoundFailure) {
  ASSERT_EQ(render("--iterations 40 --orchestra missing.orc --sound out.wav"), 1);
  EXPECT_NE(render_err_.find("failed to open input file - missing.orc\n"), std::string::npos)
      << render_err_;
  EXPECT_NE(render_err_.find("csound failed with exit status 1\n"), std::string::npos);
  EXPECT_TRUE(
      render_err_.ends_with("zelmora-render: no sound file made (orchestra missing.orc)\n"));
  EXPECT_FALSE(fs::exists("out.wav"));
  EXPECT_EQ(files_in("tmp"), strings{});
}

// The shipped presets: in the writers' form, alive, audible, unclipped.

namespace {

// A preset file and the reduction it is meant for (1: mode).
using preset = std::pair<const char*, int>;
class presets_test : public sound_test, public ::testing::WithParamInterface<preset> {};

// How many different grains (all voices' frequencies together) the last
// `late` of `iterations` iterations hold; a dead grid repeats one grain.
int distinct_late_grains(int iterations, int late) {
  Current_State.iter = iterations;
  EXPECT_EQ(play_ca(std::fopen("grains.sco", "w")), render_complete);  // closes it
  std::map<double, std::string> grains;  // start time -> frequencies
  for (const std::string& line : test_support::lines_of(slurp("grains.sco"))) {
    std::istringstream fields(line);
    std::string instrument, start, dur, amp, freq;
    if (fields >> instrument >> start >> dur >> amp >> freq && instrument[0] == 'i')
      grains[std::stod(start)] += freq + " ";
  }
  EXPECT_EQ(grains.size(), static_cast<std::size_t>(iterations));
  if (grains.size() < static_cast<std::size_t>(late)) return 0;
  std::set<std::string> distinct;
  for (auto g = std::prev(grains.end(), late); g != grains.end(); ++g) distinct.insert(g->second);
  return static_cast<int>(distinct.size());
}

}  // namespace

TEST_F(presets_test, TheDefaultsDieOutWhichIsWhyPresetsExist) {
  EXPECT_EQ(distinct_late_grains(600, 100), 1);
}

TEST_P(presets_test, LoadsAsWrittenStaysAliveAndSoundsUnclipped) {
  // As the Load dialogs load them: an event list plays over the defaults.
  const fs::path file = fs::path(ZELMORA_EXAMPLES) / GetParam().first;
  const bool event_list = file.extension() == ".cse";
  std::FILE* fp = std::fopen(file.c_str(), "r");
  ASSERT_NE(fp, nullptr);
  const int result = event_list ? read_event_list(fp) : read_parameters(fp, Current_State);
  std::fclose(fp);
  ASSERT_EQ(result, event_list ? 1 : 0) << "refused";
  Mean_Mode = GetParam().second;
  test_support::temp_stream rewritten;
  event_list ? write_event_list(rewritten.get()) : write_parameters(rewritten.get(), Current_State);
  EXPECT_EQ(rewritten.text(), slurp(file)) << "not in the writers' form";
  // Every render seeds the grid afresh: two different seedings.
  for (int render = 0; render < 2; ++render)
    EXPECT_GE(distinct_late_grains(600, 100), 75) << "render " << render;
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
