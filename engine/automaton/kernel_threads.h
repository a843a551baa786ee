// The threads the grid kernels share their rows with: the caller and one
// worker a pool starts on first use. A kernel hands over a loop over rows;
// each thread runs the same code on the rows it takes, so the results never
// depend on how many threads ran, nor on which ran what. A pool serves one
// caller at a time; a caller that finds its worker busy with another
// caller's rows runs its own alone, so engines on several threads may share
// one pool and none ever waits for another.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "platform/cpu_features.h"

constexpr int max_kernel_threads = 2;

// 2, or 1 when the environment variable ZELMORA_THREADS is 1 or
// set_kernel_threads(1) was called. A setting of the whole process.
int kernel_threads();
// 1 or 2; 0 returns to what the environment says.
void set_kernel_threads(int threads);

class row_pool {
 public:
  using body_type = std::function<void(int part, int first, int last)>;

  row_pool();
  ~row_pool();
  row_pool(const row_pool&) = delete;
  row_pool& operator=(const row_pool&) = delete;

  // Runs body(part, first, last) over [0, count) in chunks of whole rows,
  // each run by one of up to kernel_threads() threads: `part` (<
  // max_kernel_threads) names the thread, for its scratch space. Returns
  // when all are done. Without `split` (small work, where waking the
  // worker costs more) the caller runs it all as part 0.
  void run_rows(int count, bool split, const body_type& body);

 private:
  struct threads;  // the row dealer and the worker
  std::mutex busy_;
  std::unique_ptr<threads> threads_;  // started on first use, under busy_
};

// The process's pool, for every engine that is given none of its own.
row_pool& shared_row_pool();
