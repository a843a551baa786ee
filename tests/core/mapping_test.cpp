// Block geometry, the two reductions and the note statements.
#include <memory>

#include "engine/mapping.h"
#include "test_support.h"

namespace {

using test_support::core_test;

class mapping_test : public core_test {
 protected:
  void SetUp() override {
    core_test::SetUp();
    freq.fill(-1.0f);
    for (int s = 0; s < max_states; ++s) positions[s] = static_cast<float>(s);  // all distinct
  }
  // Cell (r, c) of the interior gets the number of the block it should be in,
  // so a reduction tells which cells each instrument hears.
  void label_blocks(int x, int y, int n) {
    const int bx = x / n, by = y / n;
    for (int r = 1; r <= x; ++r)
      for (int c = 1; c <= y; ++c)
        (*grid)[r][c] = r <= n * bx && c <= n * by ? ((r - 1) / bx) * n + (c - 1) / by : 99;
  }
  std::unique_ptr<grid_type> grid = std::make_unique<grid_type>();
  frequency_array freq{};
  position_array positions{};
};

TEST_F(mapping_test, PositionsMapToFrequencies) {
  EXPECT_FLOAT_EQ(position_frequency(0.0f), 1.0f);
  EXPECT_EQ(position_frequency(50.0f), 121.510414f);
  EXPECT_NEAR(position_frequency(100.0f), 14764.78f, 0.01f);
  for (auto [noinstrm, n] : {std::pair{25, 5}, {30, 5}, {3, 1}, {100, 10}})
    EXPECT_EQ(blocks_per_side(noinstrm), n) << noinstrm;
}

TEST_F(mapping_test, BlocksAreRowMajorAndLeftoverCellsAreNeverHeard) {
  for (auto [x, y] : {std::pair{50, 50}, std::pair{52, 53}}) {
    label_blocks(x, y, 5);
    md_freq(*grid, freq, positions, 25, x, y);
    for (int b = 0; b < 25; ++b) EXPECT_EQ(freq[b], position_frequency(static_cast<float>(b)));
    EXPECT_EQ(freq[25], -1.0f);  // nothing beyond n * n
  }
  // Instrument 5 plays rows 1-10, columns 41-50; instrument 6 rows 11-20.
  label_blocks(50, 50, 5);
  EXPECT_EQ((*grid)[1][41], 4);
  EXPECT_EQ((*grid)[10][50], 4);
  EXPECT_EQ((*grid)[11][1], 5);
}

TEST_F(mapping_test, MeanKeepsItsSinglePrecisionSumOfFrequenciesAndEmptyBlocksAreSilent) {
  positions.fill(50.0f);
  av_freq(*grid, freq, positions, 25, 50, 50);
  EXPECT_EQ(freq[0], 121.510475f);
  md_freq(*grid, freq, positions, 25, 50, 50);
  EXPECT_EQ(freq[0], 121.510414f);
  av_freq(*grid, freq, positions, 25, 3, 50);  // 3 rows for 5 blocks a side
  EXPECT_EQ(freq[0], 0.0f);
  md_freq(*grid, freq, positions, 25, 0, 0);  // the mode of nothing is state 0
  EXPECT_EQ(freq[24], position_frequency(50.0f));
  // The mean is of frequencies, not of states.
  positions[0] = 0.0f;    // 1 Hz
  positions[1] = 100.0f;  // 14764.78 Hz
  (*grid)[1][1] = 0;
  (*grid)[1][2] = 1;
  av_freq(*grid, freq, positions, 1, 1, 2);
  const float sum = static_cast<float>(1.0 + static_cast<double>(position_frequency(100.0f)));
  EXPECT_EQ(freq[0], static_cast<float>(static_cast<double>(sum) / 2.0));
}

TEST_F(mapping_test, ModeTieGoesToTheLowerStateAndOutsideStatesUseTheNearestEntry) {
  const std::array<int, 5> cells = {3, 7, 5, 7, 3};
  for (int c = 0; c < 5; ++c) (*grid)[1][c + 1] = cells[c];
  md_freq(*grid, freq, positions, 1, 1, 5);
  EXPECT_EQ(freq[0], position_frequency(3.0f));
  (*grid)[1][1] = 250;
  md_freq(*grid, freq, positions, 1, 1, 1);
  EXPECT_EQ(freq[0], position_frequency(99.0f));
  (*grid)[1][1] = -4;
  av_freq(*grid, freq, positions, 1, 1, 1);
  EXPECT_EQ(freq[0], position_frequency(0.0f));
}

TEST_F(mapping_test, NotesCarryInstrumentStartDurationAmplitudeAndFrequency) {
  test_support::temp_stream out;
  freq.fill(0.0f);
  freq[0] = 121.510414f;
  freq[1] = 440.0f;
  std::array<float, max_instruments> amplitude{50.0f, 12.5f};
  writesound(out.get(), freq, amplitude, 2, 599, 0.025f);
  writesound(out.get(), freq, amplitude, 1, 100, 0.05f);  // start is t * dur, no running sum
  EXPECT_EQ(out.text(),
            "i1 14.975000 0.025000 500.000000 121.510414\n"
            "i2 14.975000 0.025000 125.000000 440.000000\n"
            "i1 5.000000 0.050000 500.000000 121.510414\n");
}

}  // namespace
