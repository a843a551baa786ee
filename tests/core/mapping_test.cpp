// Block geometry, the two reductions and the note statements.
#include <memory>

#include "engine/mapping.h"
#include "test_support.h"

namespace {

class mapping_test : public test_support::core_test {
 protected:
  void SetUp() override {
    core_test::SetUp();
    freq.fill(-1.0f);
    for (int s = 0; s < max_states; ++s) positions[s] = static_cast<float>(s);
  }
  std::unique_ptr<grid_type> grid = std::make_unique<grid_type>();
  frequency_array freq{};
  position_array positions{};
};

TEST_F(mapping_test, BlocksAreRowMajorAndLeftoverRowsAndColumnsAreNeverHeard) {
  const int x = 52, y = 53;  // 10 x 10 blocks, two rows and three columns left over
  for (int r = 1; r <= x; ++r)
    for (int c = 1; c <= y; ++c)
      (*grid)[r][c] = r <= 50 && c <= 50 ? (r - 1) / 10 * 5 + (c - 1) / 10 : 99;
  md_freq(*grid, freq, positions, 25, x, y);
  for (int b = 0; b < 25; ++b) EXPECT_EQ(freq[b], position_frequency(static_cast<float>(b))) << b;
  EXPECT_EQ(freq[25], -1.0f);
}

TEST_F(mapping_test, ModeTakesTheLowerStateOnATieMeanSumsFrequenciesInSinglePrecision) {
  const std::array<int, 5> cells = {3, 7, 5, 7, 3};
  for (int c = 0; c < 5; ++c) (*grid)[1][c + 1] = cells[c];
  md_freq(*grid, freq, positions, 1, 1, 5);
  EXPECT_EQ(freq[0], position_frequency(3.0f));
  (*grid)[1][1] = 250;  // outside the table: its nearest entry
  md_freq(*grid, freq, positions, 1, 1, 1);
  EXPECT_EQ(freq[0], position_frequency(99.0f));
  (*grid)[1][1] = -4;
  av_freq(*grid, freq, positions, 1, 1, 1);
  EXPECT_EQ(freq[0], position_frequency(0.0f));
  positions.fill(50.0f);
  av_freq(*grid, freq, positions, 25, 50, 50);
  EXPECT_EQ(freq[0], 121.510475f);
  md_freq(*grid, freq, positions, 25, 50, 50);
  EXPECT_EQ(freq[0], 121.510414f);
  av_freq(*grid, freq, positions, 25, 3, 50);  // 3 rows for 5 blocks a side: empty blocks
  EXPECT_EQ(freq[0], 0.0f);
}

TEST_F(mapping_test, NoteLinesStartAtIterationTimesDuration) {
  test_support::temp_stream out;
  freq[0] = 121.510414f;
  freq[1] = 440.0f;
  std::array<float, max_instruments> amplitude{50.0f, 12.5f};
  writesound(out.get(), freq, amplitude, 2, 599, 0.025f);
  writesound(out.get(), freq, amplitude, 1, 100, 0.05f);
  EXPECT_EQ(out.text(),
            "i1 14.975000 0.025000 500.000000 121.510414\n"
            "i2 14.975000 0.025000 125.000000 440.000000\n"
            "i1 5.000000 0.050000 500.000000 121.510414\n");
}

}  // namespace
