// The cell rule, the wrapped border and the seeding.
#include <cstdlib>
#include <memory>

#include "engine/automaton.h"
#include "test_support.h"

namespace {

using test_support::core_test;

class automaton_test : public core_test {
 protected:
  // A 3 x 3 interior whose centre (2, 2) has the eight given neighbours,
  // row by row around it.
  int step_centre(int self, std::array<int, 8> around, double r1 = 0.8, double r2 = 1.2,
                  double k = 1.0, int Ns = 40) {
    const std::array<std::array<int, 2>, 8> at = {
        {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 3}, {3, 1}, {3, 2}, {3, 3}}};
    for (int n = 0; n < 8; ++n) (*grid)[at[n][0]][at[n][1]] = around[n];
    (*grid)[2][2] = self;
    return update(*grid, {2, 2}, r1, r2, k, Ns);
  }
  std::unique_ptr<grid_type> grid = std::make_unique<grid_type>();
};

TEST_F(automaton_test, HealthyCellTruncatesEachQuotientBeforeAdding) {
  // Three infected, one ill: trunc(3/0.8) + trunc(1/1.2) = 3 + 0.
  EXPECT_EQ(step_centre(0, {5, 6, 8, 39, 0, 0, 0, 0}), 3);
  // Eight healthy neighbours keep it healthy.
  EXPECT_EQ(step_centre(0, {0, 0, 0, 0, 0, 0, 0, 0}), 0);
  // A result of 50 with 40 states is capped at the ill state.
  EXPECT_EQ(step_centre(0, {1, 1, 1, 1, 1, 1, 1, 1}, 0.16), 39);
}

TEST_F(automaton_test, InfectedCellTakesIntegerMeanOfInfectedNeighboursPlusK) {
  // 5 + 6 + 8 = 19 over 3 gives 6, plus k 1.0: 7; ill neighbours and its
  // own state do not count.
  EXPECT_EQ(step_centre(12, {5, 6, 8, 39, 39, 0, 0, 0}), 7);
  EXPECT_EQ(step_centre(3, {38, 38, 0, 0, 0, 0, 0, 0}, 0.8, 1.2, 5.0), 39);  // capped
}

TEST_F(automaton_test, InfectedCellWithoutInfectedNeighbourTakesTheIntegerPartOfK) {
  EXPECT_EQ(step_centre(7, {39, 0, 0, 0, 0, 0, 0, 39}), 1);
  EXPECT_EQ(step_centre(7, {0, 0, 0, 0, 0, 0, 0, 0}, 0.8, 1.2, 2.5), 2);
  // Not capped: with 10 states and k 25 the cell jumps to 25 ...
  EXPECT_EQ(step_centre(3, {0, 0, 0, 0, 0, 0, 0, 0}, 0.8, 1.2, 25.0, 10), 25);
  // ... and such a cell counts as ill for its neighbours and itself.
  EXPECT_EQ(step_centre(25, {0, 0, 0, 0, 0, 0, 0, 0}, 0.8, 1.2, 25.0, 10), 0);
  EXPECT_EQ(step_centre(0, {25, 25, 0, 0, 0, 0, 0, 0}, 0.8, 0.5, 1.0, 10), 4);
}

TEST_F(automaton_test, IllCellAlwaysHeals) {
  EXPECT_EQ(step_centre(39, {5, 6, 8, 39, 0, 0, 0, 0}), 0);
  EXPECT_EQ(step_centre(45, {0, 0, 0, 0, 0, 0, 0, 0}), 0);
}

TEST_F(automaton_test, SingleStateGridStaysHealthy) {
  // With Ns 1 every neighbour counts as ill and healthy cells are capped at 0.
  EXPECT_EQ(step_centre(0, {0, 0, 0, 0, 0, 0, 0, 0}, 0.8, 1.2, 1.0, 1), 0);
}

TEST_F(automaton_test, ZeroDivisorIsReportedNotFatal) {
  testing::internal::CaptureStderr();
  EXPECT_FALSE(rule_parameters_usable(0.0, 1.2));
  EXPECT_FALSE(rule_parameters_usable(0.8, 0.0));
  EXPECT_TRUE(rule_parameters_usable(0.8, 1.2));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "bad parameters to updatebad parameters to update");
}

TEST_F(automaton_test, BorderWrapsANonSquareGridOntoItsOppositeEdges) {
  grid_type& g = *grid;
  const int x = 30;
  const int y = 70;
  for (int r = 1; r <= x; ++r)
    for (int c = 1; c <= y; ++c) g[r][c] = r * 100 + c;
  swap_boundaries(g, x, y);
  for (int r = 1; r <= x; ++r) {
    EXPECT_EQ(g[r][0], g[r][y]);
    EXPECT_EQ(g[r][y + 1], g[r][1]);
  }
  for (int c = 1; c <= y; ++c) {
    EXPECT_EQ(g[0][c], g[x][c]);
    EXPECT_EQ(g[x + 1][c], g[1][c]);
  }
  // Corners hold the diagonally opposite interior corner.
  EXPECT_EQ(g[0][0], g[x][y]);
  EXPECT_EQ(g[0][y + 1], g[x][1]);
  EXPECT_EQ(g[x + 1][0], g[1][y]);
  EXPECT_EQ(g[x + 1][y + 1], g[1][1]);
}

TEST_F(automaton_test, SingleCellIsItsOwnEightNeighbours) {
  grid_type& g = *grid;
  g[1][1] = 7;
  swap_boundaries(g, 1, 1);
  for (int r = 0; r <= 2; ++r)
    for (int c = 0; c <= 2; ++c) EXPECT_EQ(g[r][c], 7) << r << "," << c;
  // Eight infected copies of 7: mean 7 plus k 1.
  EXPECT_EQ(update(g, {1, 1}, 0.8, 1.2, 1.0, 40), 8);
}

TEST_F(automaton_test, SeedingFollowsRandRowByRow) {
  std::srand(1234);
  std::array<int, 12> expected{};
  for (int& v : expected) v = std::rand() % 9;
  std::srand(1234);
  init_array(*grid, 9, 3, 4);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ((*grid)[r + 1][c + 1], expected[r * 4 + c]);
  EXPECT_EQ((*grid)[0][0], (*grid)[3][4]);  // and the border is filled
}

TEST_F(automaton_test, ExtentsBeyondTheGridAreKeptInside) {
  // Must neither crash nor trip the sanitizers.
  init_array(*grid, 5, 5000, -3);
  swap_boundaries(*grid, 1001, 1001);
  SUCCEED();
}

}  // namespace
