// Shared helpers for the core, tool and window tests: a clean run state,
// temporary files and directories, captured echo and error output. Including it brings
// GoogleTest, the standard headers below and the engine's globals.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/externs.h"
#include "events/event_list.h"
#include "tests/support/support.h"

namespace test_support {

inline std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void spit(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The sample rate a WAV header gives.
inline unsigned sample_rate_of(const std::string& wav) {
  if (wav.size() < 28 || !wav.starts_with("RIFF")) return 0;
  unsigned rate = 0;
  for (int i = 3; i >= 0; --i) rate = rate * 256 + static_cast<unsigned char>(wav[24 + i]);
  return rate;
}

inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The names in `dir`, sorted.
inline std::vector<std::string> files_in(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// What `run` writes to stderr.
template <typename Run>
std::string stderr_of(Run run) {
  testing::internal::CaptureStderr();
  run();
  return testing::internal::GetCapturedStderr();
}

// Runs `action` with writes failing beyond `bytes` bytes, as on a full disk.
template <typename Action>
void on_a_full_disk(rlim_t bytes, Action action) {
  rlimit old_limit{};
  ::getrlimit(RLIMIT_FSIZE, &old_limit);
  const rlimit small{bytes, old_limit.rlim_max};
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &small);
  action();
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
}

// An open stream over a private temporary file, read back as text.
struct temp_stream {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file{std::tmpfile(), std::fclose};
  std::FILE* get() const { return file.get(); }
  std::string text() const {
    std::fflush(get());
    std::rewind(get());
    std::string out;
    for (int c; (c = std::getc(get())) != EOF;) out.push_back(static_cast<char>(c));
    return out;
  }
};

// A stream holding `text`, positioned at its start.
inline std::FILE* stream_of(temp_stream& s, const std::string& text) {
  std::fputs(text.c_str(), s.get());
  std::rewind(s.get());
  return s.get();
}

// A fresh directory per test and process (tests run in parallel processes).
struct temp_dir {
  explicit temp_dir(const std::string& prefix)
      : path(std::filesystem::temp_directory_path() /
             (prefix + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~temp_dir() { std::filesystem::remove_all(path); }
  temp_dir(const temp_dir&) = delete;
  const std::filesystem::path path;
};

// A fresh directory that is the working one while it lives.
struct working_dir : temp_dir {
  explicit working_dir(const std::string& prefix) : temp_dir(prefix) {
    std::filesystem::current_path(path);
  }
  ~working_dir() { std::filesystem::current_path(before); }
  const std::filesystem::path before = std::filesystem::current_path();
};

// An event list of a change, an interpolation and a reseed, as written.
const std::string example_file =
    "event\ntype=1\ntime=0\nname=calm\n"
    "r1=0.800000\nr2=1.200000\nk=1.000000\nNs=1\nx=50\ny=50\ndur=0.025000\nnoinstrm=1\n"
    "s0=121.510418\ni0=500.000000\nend\n"
    "event\ntype=2\ntime=100\nname=->wild\nfinish time=300\n"
    "r1=0.900000\nr2=1.300000\nk=1.000000\nNs=1\nx=50\ny=50\ndur=0.025000\nnoinstrm=1\n"
    "s0=317.348329\ni0=250.000000\nend\n"
    "event\ntype=3\ntime=200\nname=Reseed\nend\n";

// Every test starts from the start-up state; echo lines go to a private file.
class core_test : public ::testing::Test {
 protected:
  void SetUp() override {
    clear_event_list();
    Current_State = parameters_type{};
    systeminit();
    Echo_Stream = echo_.get();
  }
  void TearDown() override {
    clear_event_list();
    Echo_Stream = stdout;
  }

  temp_stream echo_;
};

}  // namespace test_support
