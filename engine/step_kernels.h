// The fast automaton step behind step_grid(): per-step lookup tables, the
// neighbour counts taken with box sums over packed cells, and an AVX2 kernel
// chosen at run time beside a portable one. Both give exactly what update()
// gives cell by cell.
#pragma once

#include <array>
#include <cstdint>

#include "engine/types.h"

// The instruction set the step runs on.
enum class kernel_set { avx2, portable };

// AVX2 when the processor has it, unless the environment variable
// ZELMORA_PORTABLE is set (non-empty) or force_portable_kernels(true) was
// called.
kernel_set active_kernel_set();
void force_portable_kernels(bool portable);

// Entries of a rule table: a power of two, so any index can be masked into it.
constexpr int rule_slots = 512;

// Everything of the rule that is constant within one step.
struct rule_table {
  // Next state by slot: 0..126 an infected cell by the mean state of its
  // infected neighbours, 127 an infected cell without one, 128 + ill * 16 +
  // infected a healthy cell by its neighbour counts; the rest unused.
  std::array<std::int32_t, rule_slots> next{};
  std::int32_t ill_from = 0;  // Ns - 1: a state at or above it is ill
};

// True when the tables and the packed counts reproduce the rule: Ns 1..100,
// r1 and r2 above 0, k at least 0 (no NaN). Other values take update().
bool fast_rule_applies(double r1, double r2, double k, int Ns);

// Built exactly as update() computes each case; only for fast_rule_applies.
rule_table make_rule_table(double r1, double r2, double k, int Ns);

// Rows 1..x, columns 1..y of `from` into `to` (x, y in 0..1000; the border
// is left alone). Returns false, with `to` partly written, when a state of
// `from` is negative: the packed counts cannot hold one and the caller must
// step with update() instead.
bool step_interior(const grid_type& from, grid_type& to, const rule_table& rule, int x, int y);
