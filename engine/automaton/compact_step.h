// The automaton's step on byte grids (compact_grid.h): the rule as tables,
// each row's neighbours counted with vertical then horizontal sums, on AVX2
// or portable kernels as active_kernel_set() says.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "engine/automaton/compact_grid.h"
#include "engine/automaton/kernel_threads.h"

// The rule as byte operations. False when the byte kernels cannot give
// exactly what update() gives for these parameters (Ns above 100, r1 or r2
// not above 0, k negative or NaN, among others).
struct compact_rule {
  std::uint8_t ill_from = 0;  // Ns - 1
  // A healthy cell: min(by_infected[i] + by_ill[j], ill_from).
  alignas(16) std::array<std::uint8_t, 16> by_infected{};
  alignas(16) std::array<std::uint8_t, 16> by_ill{};
  // An infected cell: min(mean + raise, ill_from), raise saturating.
  std::uint8_t raise = 0;
  std::uint8_t lonely = 0;  // without infected neighbours
  std::int32_t lonely_state = 0;  // what `lonely` stands for
};
bool make_compact_rule(double r1, double r2, double k, int Ns, compact_rule& rule);

// What a step writes besides the new grid: each thread's rows of sums,
// and the pool whose threads share the rows. An engine has its own, so
// that two engines step at once without sharing a byte.
class step_workspace {
 public:
  struct part;  // one thread's rows (compact_step.cpp)

  explicit step_workspace(row_pool& rows);
  ~step_workspace();
  step_workspace(const step_workspace&) = delete;
  step_workspace& operator=(const step_workspace&) = delete;

  row_pool& rows() const { return rows_; }
  part& scratch(int thread);

 private:
  row_pool& rows_;
  std::unique_ptr<std::array<part, max_kernel_threads>> parts_;
};

// One whole step, border included; from.x and from.y give the extent.
void compact_step(const compact_grid& from, compact_grid& to, const compact_rule& rule,
                  step_workspace& work);
