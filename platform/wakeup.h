// One thread waking another: a counting semaphore whose post() may come from
// a real-time thread or a signal handler (no lock, no allocation; a system
// call only when someone waits).
#pragma once

#include <semaphore.h>
#include <time.h>

#include <cerrno>
#include <chrono>

class wakeup {
 public:
  wakeup() { ::sem_init(&semaphore_, 0, 0); }
  ~wakeup() { ::sem_destroy(&semaphore_); }
  wakeup(const wakeup&) = delete;
  wakeup& operator=(const wakeup&) = delete;

  void post() { ::sem_post(&semaphore_); }

  // Waits for a post, or `limit` at the most; true when one came. Posts
  // that came meanwhile wake at once, all of them taken.
  bool wait_for(std::chrono::nanoseconds limit) {
    timespec until{};
    ::clock_gettime(CLOCK_MONOTONIC, &until);
    const long long ns = until.tv_nsec + limit.count();
    until.tv_sec += static_cast<time_t>(ns / 1'000'000'000);
    until.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    int result = 0;
    while ((result = ::sem_clockwait(&semaphore_, CLOCK_MONOTONIC, &until)) != 0 && errno == EINTR) {
    }
    if (result != 0) return false;
    while (::sem_trywait(&semaphore_) == 0) {
    }
    return true;
  }

 private:
  sem_t semaphore_{};
};
