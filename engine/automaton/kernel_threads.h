// A fixed pair of threads for the grid kernels: the caller and one worker
// started on first use. A kernel hands over a loop over rows; each thread
// runs the same code on the rows it takes, so the results never depend on
// how many threads ran, nor on which ran what. The engine itself stays on
// its one thread.
#pragma once

#include <functional>

#include "platform/cpu_features.h"

constexpr int max_kernel_threads = 2;

// 2, or 1 when the environment variable ZELMORA_THREADS is 1 or
// set_kernel_threads(1) was called.
int kernel_threads();
// 1 or 2; 0 returns to what the environment says.
void set_kernel_threads(int threads);

// Runs body(part, first, last) over [0, count) in chunks of whole rows,
// each run by one of kernel_threads() threads: `part` (< max_kernel_threads)
// names the thread, for its scratch space. Returns when all are done.
// Without `split` (small work, where waking the worker costs more) the
// caller runs it all as part 0.
void parallel_rows(int count, bool split,
                   const std::function<void(int part, int first, int last)>& body);
