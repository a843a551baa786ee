// Marks code that must keep real time (an audio callback): while a section
// is open on a thread, that thread neither allocates, locks nor blocks.
// Nothing enforces it here; heap hooks (a test's) can ask whether the
// thread they run on is inside one.
#pragma once

class real_time_section {
 public:
  real_time_section() { ++depth_; }
  ~real_time_section() { --depth_; }
  real_time_section(const real_time_section&) = delete;
  real_time_section& operator=(const real_time_section&) = delete;

  static bool active() { return depth_ > 0; }

 private:
  static inline thread_local int depth_ = 0;
};
