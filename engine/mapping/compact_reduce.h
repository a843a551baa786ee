// The reductions of mapping.h over a byte grid, giving the same bits: the
// kernels of compact_mean.cpp and compact_mode.cpp, on AVX2 or portable code
// as active_kernel_set() says, their rows shared by the threads of a pool.
#pragma once

#include <array>
#include <memory>

#include "engine/automaton/compact_grid.h"
#include "engine/automaton/compact_step.h"
#include "engine/automaton/kernel_threads.h"
#include "engine/mapping/mapping.h"
#include "engine/types.h"

// What the mode reduction writes besides its results: the blocks' run
// layout and each thread's counters, and the pool whose threads share the
// rows.
class mode_workspace {
 public:
  struct parts;  // compact_mode.cpp

  explicit mode_workspace(row_pool& rows);
  ~mode_workspace();
  mode_workspace(const mode_workspace&) = delete;
  mode_workspace& operator=(const mode_workspace&) = delete;

  row_pool& rows() const { return rows_; }
  parts& scratch() { return *parts_; }

 private:
  row_pool& rows_;
  std::unique_ptr<parts> parts_;
};

// All that an engine's grid kernels write besides their results, on one
// pool.
struct kernel_workspace {
  explicit kernel_workspace(row_pool& rows) : step(rows), mode(rows) {}
  row_pool& rows() const { return step.rows(); }

  step_workspace step;
  mode_workspace mode;
};

void compact_av_freq(const compact_grid& grid, frequency_array& freq,
                     const std::array<float, max_states>& frequency, int noinstrm,
                     row_pool& rows);
void compact_md_freq(const compact_grid& grid, frequency_array& freq,
                     const std::array<float, max_states>& frequency, int noinstrm,
                     mode_workspace& work);
