// What an action writes on the standard output and the standard error.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

struct captured_output {
  std::string out;
  std::string err;
};

template <typename Action>
captured_output capture(Action action) {
  std::fflush(nullptr);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  action();
  captured_output o;
  o.out = testing::internal::GetCapturedStdout();
  o.err = testing::internal::GetCapturedStderr();
  return o;
}
