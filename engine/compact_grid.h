// The automaton a byte a cell: what the render steps and reduces, a quarter
// of the int grid's memory so a generation stays in the cache. States 0..254
// are kept as they are; 255 stands for `big`, the one larger state a grid
// can hold (an infected cell without infected neighbours takes trunc(k),
// uncapped). A grid that does not fit (negative states, several large ones,
// Ns above 100) stays an int grid and takes the int kernels.
#pragma once

#include <array>
#include <cstdint>

#include "engine/mapping.h"
#include "engine/step_kernels.h"
#include "engine/types.h"

// Room for whole vectors past the last border column.
constexpr int compact_stride = 1024 + 64;
constexpr std::uint8_t big_cell = 255;

struct compact_grid {
  alignas(64) std::array<std::array<std::uint8_t, compact_stride>, grid_side> rows{};
  int x = 0;  // the extent it holds, border included
  int y = 0;
  std::int32_t big = 0;  // the state big_cell stands for
};

// Rows 0..x+1, columns 0..y+1 of int `from` (border included). False,
// leaving `to` unusable, when a state does not fit.
bool compact_from_ints(const grid_type& from, compact_grid& to, int x, int y);
// Rows 0..x+1, columns 0..y+1 of `to`, as the int step would have left them.
void compact_to_ints(const compact_grid& from, grid_type& to);

// init_array() into bytes; modulus 1..255.
void compact_seed(compact_grid& grid, int modulus, int x, int y);

// The rule as byte operations. False when the byte kernels cannot give
// exactly what update() gives for these parameters.
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
bool make_compact_rule(const rule_table& table, compact_rule& rule);

// One whole step, border included; from.x and from.y give the extent. The
// step and the reductions run on AVX2 or portable kernels as
// active_kernel_set() says, their rows shared by kernel_threads() threads.
void compact_step(const compact_grid& from, compact_grid& to, const compact_rule& rule);

// The reductions of mapping.h over bytes; the same bits.
void compact_av_freq(const compact_grid& grid, frequency_array& freq,
                     const std::array<float, max_states>& frequency, int noinstrm);
void compact_md_freq(const compact_grid& grid, frequency_array& freq,
                     const std::array<float, max_states>& frequency, int noinstrm);
