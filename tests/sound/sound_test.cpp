// Sound through the real csound: the three commands' csound runs, the
// orchestra's output, and zelmora-render --sound. Each test works in a
// fresh directory holding a copy of zelmora.orc.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/csound.h"
#include "engine/externs.h"
#include "events/event_list.h"
#include "files/param_file.h"

namespace fs = std::filesystem;

namespace {

using samples = std::vector<std::int16_t>;
using strings = std::vector<std::string>;

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

samples samples_of_bytes(const std::string& bytes) {
  samples s(bytes.size() / 2);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return s;
}

// The orchestra's header values, so the expected lengths follow it.
int orchestra_value(const std::string& name) {
  const std::regex line("(^|\\n)\\s*" + name + "\\s*=\\s*([0-9]+)");
  std::smatch m;
  const std::string text = read_text(ZELMORA_ORCHESTRA);
  if (!std::regex_search(text, m, line)) return 0;
  return std::stoi(m[2]);
}
const int sample_rate = orchestra_value("sr");
const int block = orchestra_value("ksmps");

// csound ends on a control block: the length is the score's to a block.
void expect_duration(std::size_t count, double seconds) {
  const double exact = seconds * sample_rate;
  EXPECT_LT(std::abs(static_cast<double>(count) - exact), block) << count << " samples";
}

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

int peak_of(const samples& s) {
  int peak = 0;
  for (const auto v : s) peak = std::max(peak, std::abs(static_cast<int>(v)));
  return peak;
}

// The strongest frequency from lo to hi Hz in 1 Hz steps (Goertzel), over
// one second from the start.
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

// A 16-bit PCM WAV file, checked chunk by chunk.
struct wav_file {
  bool valid = false;
  int format = 0, channels = 0, rate = 0, bits = 0;
  samples data;
};

std::uint32_t le32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}
int le16(const std::string& b, std::size_t at) {
  return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}

wav_file read_wav(const fs::path& path) {
  wav_file w;
  const std::string b = read_text(path);
  if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) return w;
  if (le32(b, 4) + 8 != b.size()) return w;
  bool have_format = false;
  for (std::size_t at = 12; at + 8 <= b.size();) {
    const std::string id = b.substr(at, 4);
    const std::size_t size = le32(b, at + 4);
    if (at + 8 + size > b.size()) return w;
    if (id == "fmt " && size >= 16) {
      w.format = le16(b, at + 8);
      w.channels = le16(b, at + 10);
      w.rate = static_cast<int>(le32(b, at + 12));
      w.bits = le16(b, at + 22);
      have_format = true;
    } else if (id == "data") {
      w.data = samples_of_bytes(b.substr(at + 8, size));
      w.valid = have_format;
    }
    at += 8 + size + (size & 1);
  }
  return w;
}

class sound_test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(sample_rate, 0);
    ASSERT_GT(block, 0);
    old_dir_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("zelmora-sound-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "tmp");
    fs::copy_file(ZELMORA_ORCHESTRA, dir_ / orchestra_name);
    fs::current_path(dir_);
    clear_event_list();
    systeminit();
    echo_ = std::tmpfile();
    Echo_Stream = echo_;
  }
  void TearDown() override {
    Echo_Stream = stdout;
    std::fclose(echo_);
    fs::current_path(old_dir_);
    fs::remove_all(dir_);
  }

  strings entries(const fs::path& where = ".") const {
    strings names;
    for (const auto& e : fs::directory_iterator(where)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  // zelmora-render with its temporary files in tmp/; returns the exit
  // status and keeps standard error.
  int render(const std::string& arguments) {
    const std::string command = "TMPDIR=tmp " + shell_word(ZELMORA_RENDER) + " " + arguments +
                                " >render.out 2>render.err";
    const int raw = std::system(command.c_str());
    render_err_ = read_text("render.err");
    fs::remove("render.out");
    fs::remove("render.err");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  // A parameter file whose states all sound at `hertz`.
  void write_unison_set(const std::string& name, double hertz, int instruments, float position) {
    parameters_type p = Current_State;
    p.noinstrm = instruments;
    for (int s = 0; s < p.Ns; ++s) p.states[s] = static_cast<float>(std::log(hertz) / 0.096);
    for (int i = 0; i < instruments; ++i) p.instrm[i] = position;
    std::FILE* fp = std::fopen(name.c_str(), "w");
    write_parameters(fp, p);
    std::fclose(fp);
  }

  fs::path old_dir_;
  fs::path dir_;
  std::FILE* echo_ = nullptr;
  std::string render_err_;
};

}  // namespace

TEST_F(sound_test, TheDefaultsBecomeFifteenSecondsOfRawMonoSamples) {
  ASSERT_EQ(make_sound_file("out.raw"), 0);
  const std::string bytes = read_text("out.raw");
  ASSERT_EQ(bytes.size() % 2, 0u);
  const samples s = samples_of_bytes(bytes);
  expect_duration(s.size(), 600 * 0.025);
  // 25 voices at 500 in unison, half of full scale.
  EXPECT_GT(peak_of(s), 16000);
  EXPECT_LE(peak_of(s), 16384);
  EXPECT_EQ(entries(), (strings{"out.raw", "tmp", orchestra_name}));
}

TEST_F(sound_test, TheDefaultsPlayOnTheAudioDevice) {
  // No sound card here: ALSA's default device becomes the null device.
  fs::create_directory("home");
  std::ofstream("home/.asoundrc") << "pcm.!default { type null }\n";
  const std::string old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::setenv("HOME", (dir_ / "home").c_str(), 1);
  const int result = play_on_audio_device();
  ::setenv("HOME", old_home.c_str(), 1);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(entries(), (strings{"home", "tmp", orchestra_name}));
}

TEST_F(sound_test, SoundFileNamesReachCsoundAsTheyAre) {
  Current_State.iter = 40;
  ASSERT_EQ(make_sound_file("my take.raw"), 0);
  expect_duration(fs::file_size("my take.raw") / 2, 40 * 0.025);
  ASSERT_EQ(make_sound_file("out.au; touch x"), 0);
  EXPECT_EQ(entries(), (strings{"my take.raw", "out.au; touch x", "tmp", orchestra_name}));
}

TEST_F(sound_test, AMissingOrchestraFailsAndLeavesNoScore) {
  Current_State.iter = 40;
  fs::remove(orchestra_name);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(make_sound_file("out.raw"), -1);
  EXPECT_TRUE(ends_with(::testing::internal::GetCapturedStderr(),
                        "csound failed with exit status 1\n"));
  EXPECT_EQ(entries(), strings{"tmp"});
}

TEST_F(sound_test, AnUnwritableSoundFileFailsAndLeavesNoScore) {
  Current_State.iter = 40;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(make_sound_file("missing/out.raw"), -1);
  EXPECT_TRUE(ends_with(::testing::internal::GetCapturedStderr(),
                        "csound failed with exit status 1\n"));
  EXPECT_EQ(entries(), (strings{"tmp", orchestra_name}));
}

TEST_F(sound_test, AnAbandonedRenderNeverStartsCsound) {
  Current_State.r1 = 0.0f;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(make_sound_file("out.raw"), -1);
  EXPECT_EQ(play_on_audio_device(), -1);
  // Not a word from csound.
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "bad parameters to updatebad parameters to update");
  EXPECT_EQ(entries(), (strings{"tmp", orchestra_name}));
}

TEST_F(sound_test, TheRendererWritesACleanWavAtTheStatesPitch) {
  // 440 Hz fills a 25 ms grain with whole cycles, so the grains join into
  // one steady tone whose strongest component is 440 Hz itself.
  write_unison_set("a440.csp", 440.0, 25, 50.0f);
  ASSERT_EQ(render("--params a440.csp --iterations 200 --sound out.wav"), 0) << render_err_;
  EXPECT_EQ(render_err_.find("overall"), std::string::npos) << "csound's chatter shows";
  const wav_file w = read_wav("out.wav");
  ASSERT_TRUE(w.valid);
  EXPECT_EQ(w.format, 1);
  EXPECT_EQ(w.channels, 1);
  EXPECT_EQ(w.rate, sample_rate);
  EXPECT_EQ(w.bits, 16);
  expect_duration(w.data.size(), 200 * 0.025);
  EXPECT_GT(peak_of(w.data), 16000);
  EXPECT_LE(peak_of(w.data), 16384);  // far from clipping
  EXPECT_NEAR(strongest_frequency(w.data, 50, 2000), 440, 1);
  EXPECT_EQ(entries("tmp"), strings{});
}

TEST_F(sound_test, AHundredLoudVoicesInUnisonAreLimitedNotClipped) {
  write_unison_set("loud.csp", 440.0, 100, 100.0f);  // 100 x 1000: four times full scale
  ASSERT_EQ(render("--params loud.csp --iterations 40 --sound loud.wav"), 0) << render_err_;
  const wav_file w = read_wav("loud.wav");
  ASSERT_TRUE(w.valid);
  EXPECT_GT(peak_of(w.data), 26000);
  EXPECT_LT(peak_of(w.data), 28500);
}

TEST_F(sound_test, TheRendererExplainsACsoundFailure) {
  ASSERT_EQ(render("--iterations 40 --orchestra missing.orc --sound out.wav"), 1);
  EXPECT_NE(render_err_.find("failed to open input file - missing.orc\n"), std::string::npos)
      << render_err_;
  EXPECT_NE(render_err_.find("csound failed with exit status 1\n"), std::string::npos);
  EXPECT_TRUE(ends_with(render_err_, "zelmora-render: no sound file made (orchestra missing.orc)\n"));
  EXPECT_FALSE(fs::exists("out.wav"));
  EXPECT_EQ(entries("tmp"), strings{});
}

TEST_F(sound_test, VerboseShowsCsoundsMessages) {
  ASSERT_EQ(render("--iterations 4 --sound out.wav --verbose"), 0);
  EXPECT_NE(render_err_.find("overall samples out of range"), std::string::npos) << render_err_;
}
