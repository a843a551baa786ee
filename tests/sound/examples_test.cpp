// The shipped presets: they load through the program's own readers, are
// written in the writers' own form, keep the automaton alive, and sound
// through csound without clipping.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/csound.h"
#include "engine/externs.h"
#include "engine/render.h"
#include "events/event_list.h"
#include "files/event_file.h"
#include "files/param_file.h"

namespace fs = std::filesystem;

namespace {

struct preset {
  const char* file;
  int mean_mode;  // the reduction it is meant for
};

constexpr preset presets[] = {
    {"spirals.csp", 0},    {"turbulence.csp", 0}, {"slow-waves.csp", 0},
    {"rain.csp", 0},       {"pentatonic.csp", 1}, {"chimes.csp", 1},
    {"calm-to-storm.cse", 0}, {"glissando.cse", 0},
};

// Names the preset in test listings.
void PrintTo(const preset& p, std::ostream* os) { *os << p.file; }

fs::path example(const std::string& file) { return fs::path(ZELMORA_EXAMPLES) / file; }

bool is_event_list(const std::string& file) { return file.ends_with(".cse"); }

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// What a writer puts into a stream.
template <typename Writer>
std::string written_by(Writer write) {
  std::FILE* fp = std::tmpfile();
  write(fp);
  std::rewind(fp);
  std::string text;
  for (int c; (c = std::fgetc(fp)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(fp);
  return text;
}

class examples_base : public ::testing::Test {
 protected:
  void SetUp() override {
    clear_event_list();
    systeminit();
    echo_ = std::tmpfile();
    Echo_Stream = echo_;
  }
  void TearDown() override {
    Echo_Stream = stdout;
    std::fclose(echo_);
    clear_event_list();
  }

  // As the Load dialogs do: a parameter set replaces the current one; an
  // event list plays over the default set.
  void load(const std::string& file, int mean_mode) {
    std::FILE* fp = std::fopen(example(file).c_str(), "r");
    ASSERT_NE(fp, nullptr) << file;
    const int result = is_event_list(file) ? read_event_list(fp) : read_parameters(fp, Current_State);
    std::fclose(fp);
    ASSERT_EQ(result, is_event_list(file) ? 1 : 0) << file << " refused";
    Mean_Mode = mean_mode;
  }

  // How many different grains (all instruments' frequencies together) the
  // last `late` of `iterations` iterations hold. A grid that has died out
  // repeats one grain for ever.
  int distinct_late_grains(int iterations, int late) {
    Current_State.iter = iterations;
    const fs::path path = fs::temp_directory_path() /
                          ("zelmora-example-" + std::to_string(::getpid()) + ".sco");
    EXPECT_EQ(play_ca(std::fopen(path.c_str(), "w")), render_complete);  // closes it
    const std::string score = read_text(path);
    fs::remove(path);
    std::map<std::string, std::string> grains;  // start time -> frequencies
    std::istringstream lines(score);
    for (std::string line; std::getline(lines, line);) {
      if (line.empty() || line[0] != 'i') continue;
      std::istringstream fields(line);
      std::string instrument, start, dur, amp, freq;
      fields >> instrument >> start >> dur >> amp >> freq;
      grains[start] += freq + " ";
    }
    std::vector<std::pair<double, std::string>> ordered;
    for (const auto& [start, freqs] : grains) ordered.emplace_back(std::stod(start), freqs);
    std::sort(ordered.begin(), ordered.end());
    EXPECT_EQ(ordered.size(), static_cast<std::size_t>(iterations));
    std::set<std::string> distinct;
    for (std::size_t i = ordered.size() - static_cast<std::size_t>(late); i < ordered.size(); ++i)
      distinct.insert(ordered[i].second);
    return static_cast<int>(distinct.size());
  }

  std::FILE* echo_ = nullptr;
};

class examples_test : public examples_base, public ::testing::WithParamInterface<preset> {
 protected:
  void load_preset() { load(GetParam().file, GetParam().mean_mode); }
};

}  // namespace

TEST_F(examples_base, TheDefaultsDieOutWhichIsWhyPresetsExist) {
  EXPECT_EQ(distinct_late_grains(600, 100), 1);
}

TEST_P(examples_test, IsWrittenAsTheProgramWritesIt) {
  const std::string file = GetParam().file;
  load_preset();
  const std::string rewritten =
      is_event_list(file) ? written_by([](std::FILE* fp) { write_event_list(fp); })
                          : written_by([](std::FILE* fp) { write_parameters(fp, Current_State); });
  EXPECT_EQ(rewritten, read_text(example(file)));
}

TEST_P(examples_test, StaysAliveRenderAfterRender) {
  load_preset();
  // Every render seeds the grid afresh: two different seedings.
  for (int render = 0; render < 2; ++render)
    EXPECT_GE(distinct_late_grains(600, 100), 75) << GetParam().file << ", render " << render;
}

TEST_P(examples_test, SoundsWithoutClipping) {
  load_preset();
  Current_State.iter = 160;
  const fs::path old_dir = fs::current_path();
  const fs::path dir = fs::temp_directory_path() /
                       ("zelmora-example-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy_file(ZELMORA_ORCHESTRA, dir / orchestra_name);
  fs::current_path(dir);
  const int result = make_sound_file("take.raw");
  const std::string bytes = read_text("take.raw");
  fs::current_path(old_dir);
  fs::remove_all(dir);

  ASSERT_EQ(result, 0);
  int peak = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto v = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8));
    peak = std::max(peak, std::abs(static_cast<int>(v)));
  }
  EXPECT_GT(peak, 3000) << "barely audible";
  EXPECT_LT(peak, 32767) << "clipped";
}

INSTANTIATE_TEST_SUITE_P(Presets, examples_test, ::testing::ValuesIn(presets),
                         [](const ::testing::TestParamInfo<preset>& info) {
                           std::string name;
                           for (const char* c = info.param.file; *c; ++c)
                             name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                           return name;
                         });
