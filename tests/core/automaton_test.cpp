// The cell rule, the wrapped border and the seeding.
#include <cstdlib>
#include <memory>

#include "engine/automaton.h"
#include "test_support.h"

namespace {

class automaton_test : public test_support::core_test {
 protected:
  std::unique_ptr<grid_type> grid = std::make_unique<grid_type>();
};

TEST_F(automaton_test, CellRule) {
  const struct {
    int next, self;
    std::array<int, 8> around;  // row by row around the centre
    double r1 = 0.8, r2 = 1.2, k = 1.0;
    int Ns = 40;
  } cases[] = {
      // Healthy: trunc(3 infected / 0.8) + trunc(1 ill / 1.2) = 3 + 0.
      {3, 0, {5, 6, 8, 39, 0, 0, 0, 0}},
      {0, 0, {0, 0, 0, 0, 0, 0, 0, 0}},
      {39, 0, {1, 1, 1, 1, 1, 1, 1, 1}, 0.16},  // 50 capped at the ill state
      // Infected: (5 + 6 + 8) / 3 = 6 plus k; ill neighbours and itself do not count.
      {7, 12, {5, 6, 8, 39, 39, 0, 0, 0}},
      {39, 3, {38, 38, 0, 0, 0, 0, 0, 0}, 0.8, 1.2, 5.0},  // capped
      // Infected without infected neighbours: the integer part of k, not capped ...
      {1, 7, {39, 0, 0, 0, 0, 0, 0, 39}},
      {2, 7, {0, 0, 0, 0, 0, 0, 0, 0}, 0.8, 1.2, 2.5},
      {25, 3, {0, 0, 0, 0, 0, 0, 0, 0}, 0.8, 1.2, 25.0, 10},
      // ... and such a cell counts as ill for its neighbours and itself.
      {0, 25, {0, 0, 0, 0, 0, 0, 0, 0}, 0.8, 1.2, 25.0, 10},
      {4, 0, {25, 25, 0, 0, 0, 0, 0, 0}, 0.8, 0.5, 1.0, 10},
      // Ill cells always heal.
      {0, 39, {5, 6, 8, 39, 0, 0, 0, 0}},
      {0, 45, {0, 0, 0, 0, 0, 0, 0, 0}},
      // With one state every neighbour is ill and healthy cells stay at 0.
      {0, 0, {0, 0, 0, 0, 0, 0, 0, 0}, 0.8, 1.2, 1.0, 1},
  };
  const int at[8][2] = {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 3}, {3, 1}, {3, 2}, {3, 3}};
  for (const auto& c : cases) {
    for (int n = 0; n < 8; ++n) (*grid)[at[n][0]][at[n][1]] = c.around[n];
    (*grid)[2][2] = c.self;
    EXPECT_EQ(update(*grid, {2, 2}, c.r1, c.r2, c.k, c.Ns), c.next)
        << "self " << c.self << " r1 " << c.r1 << " r2 " << c.r2 << " k " << c.k << " Ns " << c.Ns;
  }
}

TEST_F(automaton_test, ZeroDivisorIsReportedNotFatal) {
  EXPECT_EQ(test_support::stderr_of([] {
              EXPECT_FALSE(rule_parameters_usable(0.0, 1.2));
              EXPECT_FALSE(rule_parameters_usable(0.8, 0.0));
              EXPECT_TRUE(rule_parameters_usable(0.8, 1.2));
            }),
            "bad parameters to updatebad parameters to update");
}

TEST_F(automaton_test, BorderWrapsANonSquareGridOntoItsOppositeEdges) {
  grid_type& g = *grid;
  const int x = 30, y = 70;
  for (int r = 1; r <= x; ++r)
    for (int c = 1; c <= y; ++c) g[r][c] = r * 100 + c;
  swap_boundaries(g, x, y);
  for (int r = 0; r <= x + 1; ++r) {
    EXPECT_EQ(g[r][0], g[r == 0 ? x : r == x + 1 ? 1 : r][y]) << r;
    EXPECT_EQ(g[r][y + 1], g[r == 0 ? x : r == x + 1 ? 1 : r][1]) << r;
  }
  for (int c = 1; c <= y; ++c) {
    EXPECT_EQ(g[0][c], g[x][c]);
    EXPECT_EQ(g[x + 1][c], g[1][c]);
  }
  // A single cell is its own eight neighbours: mean 7 plus k 1.
  g[1][1] = 7;
  swap_boundaries(g, 1, 1);
  for (int r = 0; r <= 2; ++r)
    for (int c = 0; c <= 2; ++c) EXPECT_EQ(g[r][c], 7) << r << "," << c;
  EXPECT_EQ(update(g, {1, 1}, 0.8, 1.2, 1.0, 40), 8);
}

TEST_F(automaton_test, SeedingFollowsRandRowByRowAndKeepsInsideTheGrid) {
  std::srand(1234);
  std::array<int, 12> expected{};
  for (int& v : expected) v = std::rand() % 9;
  std::srand(1234);
  init_array(*grid, 9, 3, 4);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ((*grid)[r + 1][c + 1], expected[r * 4 + c]);
  EXPECT_EQ((*grid)[0][0], (*grid)[3][4]);  // and the border is filled
  // Extents beyond the grid must neither crash nor trip the sanitizers.
  init_array(*grid, 5, 5000, -3);
  swap_boundaries(*grid, 1001, 1001);
}

}  // namespace
