#include "engine/kernel_threads.h"

#include <immintrin.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

int environment_threads() {
  const char* text = std::getenv("ZELMORA_THREADS");
  return text != nullptr && std::strcmp(text, "1") == 0 ? 1 : max_kernel_threads;
}

int chosen_threads = 0;

// Kernels come in quick succession within an iteration: a waiting side
// first polls for a few microseconds before it sleeps, so it is not woken
// through the scheduler each time.
constexpr int polls_before_sleep = 2000;

template <typename Value>
void wait_while_equal(const std::atomic<Value>& value, Value old) {
  for (int i = 0; i < polls_before_sleep; ++i) {
    if (value.load(std::memory_order_acquire) != old) return;
    _mm_pause();
  }
  value.wait(old, std::memory_order_acquire);
}

// One worker that sleeps on a counter of jobs handed to it. The caller
// waits on a second counter; both sleep in futex waits after a short poll, so an idle worker costs
// nothing.
class worker {
 public:
  worker() : thread_([this] { serve(); }) {}
  ~worker() {
    stopping_.store(true);
    posted_.fetch_add(1);
    posted_.notify_one();
    thread_.join();
  }
  worker(const worker&) = delete;
  worker& operator=(const worker&) = delete;

  void run(const std::function<void()>& job) {
    job_ = &job;
    posted_.fetch_add(1, std::memory_order_release);
    posted_.notify_one();
  }

  void wait() {
    const unsigned target = posted_.load(std::memory_order_relaxed);
    for (unsigned done = finished_.load(std::memory_order_acquire); done != target;
         done = finished_.load(std::memory_order_acquire))
      wait_while_equal(finished_, done);
  }

 private:
  void serve() {
    unsigned seen = 0;
    for (;;) {
      wait_while_equal(posted_, seen);
      seen = posted_.load(std::memory_order_acquire);
      if (stopping_.load()) return;
      (*job_)();
      finished_.store(seen, std::memory_order_release);
      finished_.notify_one();
    }
  }

  std::atomic<unsigned> posted_{0};
  std::atomic<unsigned> finished_{0};
  std::atomic<bool> stopping_{false};
  const std::function<void()>* job_ = nullptr;
  std::thread thread_;
};

worker& the_worker() {
  static worker w;
  return w;
}

}  // namespace

int kernel_threads() {
  static const int from_environment = environment_threads();
  return chosen_threads != 0 ? chosen_threads : from_environment;
}

void set_kernel_threads(int threads) {
  chosen_threads = threads < 0 ? 0 : (threads > max_kernel_threads ? max_kernel_threads : threads);
}

void parallel_rows(int count, bool split, const std::function<void(int, int, int)>& body) {
  if (count <= 0) return;
  if (!split || count < 2 || kernel_threads() < 2) {
    body(0, 0, count);
    return;
  }
  const int half = count / 2;
  const std::function<void()> first_part = [&] { body(0, 0, half); };
  worker& w = the_worker();
  w.run(first_part);
  body(1, half, count);
  w.wait();
}
