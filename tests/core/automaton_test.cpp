// The cell rule by hand, each branch and its cap; the wrapped border is compared
// with the literal model in equivalence_test.

#include "engine/automaton.h"
#include "test_support.h"

namespace {

using automaton_test = test_support::core_test;

TEST_F(automaton_test, CellRule) {
  const struct {
    int next, self;
    std::array<int, 8> around;  // row by row around the centre
    double r1 = 0.8, r2 = 1.2, k = 1.0;
    int Ns = 40;
  } cases[] = {
      {3, 0, {5, 6, 8, 39, 0, 0, 0, 0}},                      // trunc(3 / 0.8) + trunc(1 / 1.2)
      {31, 0, {1, 1, 1, 1, 1, 1, 1, 1}, 0.25, 1.2, 1.0, 32},  // 32 capped at the ill state
      {7, 12, {5, 6, 8, 39, 39, 0, 0, 0}},                    // (5 + 6 + 8) / 3 + k
      {39, 3, {38, 38, 0, 0, 0, 0, 0, 0}, 0.8, 1.2, 5.0},     // capped
      {2, 7, {39, 0, 0, 0, 0, 0, 0, 39}, 0.8, 1.2, 2.5},      // no infected: trunc(k) ...
      {25, 3, {}, 0.8, 1.2, 25.0, 10},                        // ... not capped
      {0, 25, {}, 0.8, 1.2, 25.0, 10},                        // ... and then heals
      {0, 39, {5, 6, 8, 39, 0, 0, 0, 0}},                     // ill cells heal
  };
  const int at[8][2] = {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 3}, {3, 1}, {3, 2}, {3, 3}};
  auto grid = std::make_unique<grid_type>();
  for (const auto& c : cases) {
    for (int n = 0; n < 8; ++n) (*grid)[at[n][0]][at[n][1]] = c.around[n];
    (*grid)[2][2] = c.self;
    EXPECT_EQ(update(*grid, {2, 2}, c.r1, c.r2, c.k, c.Ns), c.next)
        << "self " << c.self << " r1 " << c.r1 << " r2 " << c.r2 << " k " << c.k << " Ns " << c.Ns;
  }
}

}  // namespace
