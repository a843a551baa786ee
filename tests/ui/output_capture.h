// What an action writes on the standard output and error, and what a
// directory holds: shared by the window and sound tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

struct captured_output {
  std::string out, err;
};

template <typename Action>
captured_output capture(Action action) {
  std::fflush(nullptr);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  action();
  // A braced list is evaluated in order: out first, then err.
  return {testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

inline std::vector<std::string> files_in(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}
