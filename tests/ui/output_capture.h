// What an action writes on the standard output and the standard error.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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
