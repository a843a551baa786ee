// The engine against the literal model in reference.h: whole grids step by
// step, both reductions, the note writer and whole scores, over randomized
// parameters (fixed seeds), on the AVX2 and the portable kernels.
#include <bit>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <memory>
#include <random>

#include "engine/automaton.h"
#include "engine/mapping.h"
#include "engine/render.h"
#include "engine/step_kernels.h"
#include "tests/core/reference.h"
#include "tests/core/test_support.h"

namespace {

using test_support::temp_stream;

struct rule_case {
  double r1 = 0.8, r2 = 1.2, k = 1.0;
  int Ns = 40, x = 50, y = 50;
};

int uniform(std::mt19937& rng, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(rng);
}

float uniform_real(std::mt19937& rng, double low, double high) {
  return static_cast<float>(std::uniform_real_distribution<double>(low, high)(rng));
}

// r1 and r2: mostly the control panel's 0.01 steps, some large, some tiny.
float draw_divisor(std::mt19937& rng) {
  switch (uniform(rng, 0, 9)) {
    case 0: return uniform_real(rng, 10.0, 1000.0);
    case 1: return uniform_real(rng, 1e-6, 1e-3);
    case 2: return static_cast<float>(uniform(rng, 1, 8)) / static_cast<float>(uniform(rng, 1, 8));
    default: return static_cast<float>(uniform(rng, 1, 1000)) / 100.0f;
  }
}

// k: the panel's range, whole numbers up to 1000 (the uncapped branch then
// leaves states of Ns and more behind), reals beyond 100 and tiny ones.
float draw_k(std::mt19937& rng) {
  switch (uniform(rng, 0, 9)) {
    case 0: return static_cast<float>(uniform(rng, 0, 1000));
    case 1: return uniform_real(rng, 100.0, 1000.0);
    case 2: return uniform_real(rng, 0.0, 1e-6);
    case 3: return static_cast<float>(uniform(rng, 0, 12));
    default: return static_cast<float>(uniform(rng, 0, 1000)) / 100.0f;
  }
}

// Grid sides: the whole range, with weight on the tiny ones and on the ends
// of 8-cell vectors.
int draw_extent(std::mt19937& rng) {
  switch (uniform(rng, 0, 3)) {
    case 0: return uniform(rng, 0, 3);
    case 1: return 8 * uniform(rng, 0, 3) + uniform(rng, -1, 1) + 1;
    default: return uniform(rng, 0, 200);
  }
}

int draw_states(std::mt19937& rng) {
  switch (uniform(rng, 0, 4)) {
    case 0: return uniform(rng, 1, 3);
    case 1: return 100;
    default: return uniform(rng, 1, 100);
  }
}

rule_case draw_rule_case(std::mt19937& rng) {
  const double r1 = draw_divisor(rng), r2 = draw_divisor(rng), k = draw_k(rng);
  const int Ns = draw_states(rng), x = draw_extent(rng);
  return {r1, r2, k, Ns, x, draw_extent(rng)};
}

// Random states of a render: mostly 0..Ns-1, some left over from the
// uncapped branch (up to 1000); the border filled.
void fill_interior(grid_type& grid, std::mt19937& rng, const rule_case& c, int beyond_percent) {
  for (int r = 1; r <= c.x; ++r)
    for (int col = 1; col <= c.y; ++col)
      grid[r][col] = uniform(rng, 0, 99) < beyond_percent ? uniform(rng, c.Ns, 1000)
                                                          : uniform(rng, 0, c.Ns - 1);
  reference::swap_boundaries(grid, c.x, c.y);
}

// Rows 0..x+1 and columns 0..y+1 are what a step writes and reads.
::testing::AssertionResult same_cells(const grid_type& engine, const grid_type& literal, int x,
                                      int y) {
  for (int r = 0; r <= x + 1; ++r)
    for (int c = 0; c <= y + 1; ++c)
      if (engine[r][c] != literal[r][c])
        return ::testing::AssertionFailure() << "cell [" << r << "][" << c << "] is "
                                             << engine[r][c] << ", the rule gives "
                                             << literal[r][c];
  return ::testing::AssertionSuccess();
}

class equivalence_test : public test_support::core_test {
 protected:
  void TearDown() override {
    force_portable_kernels(false);
    core_test::TearDown();
  }

  // Steps the engine and the model `steps` times from g->start.
  void expect_same_steps(const rule_case& c, int steps) {
    SCOPED_TRACE(::testing::Message() << "r1=" << c.r1 << " r2=" << c.r2 << " k=" << c.k
                                      << " Ns=" << c.Ns << " x=" << c.x << " y=" << c.y);
    g->engine[0] = g->literal[0] = g->start;
    for (int s = 0; s < steps; ++s) {
      const int from = s % 2, to = 1 - s % 2;
      step_grid(g->engine[from], g->engine[to], c.r1, c.r2, c.k, c.Ns, c.x, c.y);
      reference::step(g->literal[from], g->literal[to], c.r1, c.r2, c.k, c.Ns, c.x, c.y);
      ASSERT_TRUE(same_cells(g->engine[to], g->literal[to], c.x, c.y)) << "after step " << s + 1;
    }
  }

  struct grids {
    std::array<grid_type, 2> engine{}, literal{};
    grid_type start{};
  };
  std::unique_ptr<grids> g = std::make_unique<grids>();
};

TEST_F(equivalence_test, BothKernelSetsStepAsTheRuleCellByCell) {
  for (const bool portable : {false, true}) {
    force_portable_kernels(portable);
    if (!portable && active_kernel_set() != kernel_set::avx2) continue;  // no AVX2 here
    ASSERT_EQ(active_kernel_set(), portable ? kernel_set::portable : kernel_set::avx2);
    std::mt19937 rng(portable ? 20240602 : 20240601);
    for (int i = 0; i < 100 && !HasFatalFailure(); ++i) {
      const rule_case c = draw_rule_case(rng);
      fill_interior(g->start, rng, c, uniform(rng, 0, 2) == 0 ? 20 : 0);
      expect_same_steps(c, 3);
    }
  }
}

// Includes negative states or parameters the tables cannot stand for: they
// take the cell-by-cell rule, with the same result.
TEST_F(equivalence_test, StepMatchesAtTheExtremesOfEveryParameterAndOutsideTheTables) {
  const rule_case extremes[] = {
      {0.8, 1.2, 1.0, 40, 1, 1},         {0.8, 1.2, 1.0, 40, 200, 1},
      {0.8, 1.2, 1.0, 40, 1, 200},       {0.01, 0.01, 10.0, 100, 37, 45},
      {10.0, 10.0, 0.0, 2, 64, 64},      {1e-6, 1e-6, 1000.0, 100, 17, 23},
      {1000.0, 1000.0, 999.5, 5, 31, 9}, {0.8, 1.2, 1.0, 1, 20, 20},
      {0.7, 0.3, 1e-6, 3, 8, 16},        {0.8, 1.2, 1.0, 40, 0, 30},
      {0.8, 1.2, 1.0, 40, 30, 0},        {0.8, 1.2, 100.0, 100, 40, 41},
      {0.8, 1.2, -3.5, 40, 33, 35},      {-0.8, 1.2, 1.0, 40, 33, 35},
      {0.8, 1.2, 1.0, 150, 33, 35},
  };
  std::mt19937 rng(7);
  for (const bool portable : {false, true}) {
    force_portable_kernels(portable);
    for (const rule_case& c : extremes) {
      fill_interior(g->start, rng, c, 10);
      expect_same_steps(c, 4);
    }
    const rule_case c{0.8, 1.2, 2.0, 40, 33, 35};
    fill_interior(g->start, rng, c, 0);
    g->start[17][20] = -5;
    g->start[1][1] = -1;
    reference::swap_boundaries(g->start, c.x, c.y);
    expect_same_steps(c, 3);
  }
}

TEST_F(equivalence_test, FullSizeGridMatchesOverSeveralSteps) {
  std::srand(3);
  reference::init_array(g->start, 40, 1000, 1000);
  expect_same_steps({0.8, 1.2, 1.0, 40, 1000, 1000}, 2);
}

position_array random_positions(std::mt19937& rng) {
  position_array states{};
  for (float& s : states)
    s = uniform(rng, 0, 4) == 0 ? static_cast<float>(uniform(rng, 0, 100))
                                : uniform_real(rng, 0.0, 100.0);
  return states;
}

// States the mapping must clamp: negative ones and 100 and above.
void fill_for_mapping(grid_type& grid, std::mt19937& rng, int Ns, int x, int y) {
  for (int r = 1; r <= x; ++r)
    for (int c = 1; c <= y; ++c)
      switch (uniform(rng, 0, 19)) {
        case 0: grid[r][c] = uniform(rng, 100, 1000); break;
        case 1: grid[r][c] = -uniform(rng, 1, 1000); break;
        case 2: grid[r][c] = Ns - 1; break;
        default: grid[r][c] = uniform(rng, 0, Ns - 1);
      }
}

// Both reductions of the engine and the model, bit for bit, every entry.
::testing::AssertionResult same_reductions(const grid_type& grid, const position_array& states,
                                           int noinstrm, int x, int y) {
  for (const bool mode : {false, true}) {
    frequency_array engine, literal;
    engine.fill(-1.0f);
    literal.fill(-1.0f);
    (mode ? md_freq : av_freq)(grid, engine, states, noinstrm, x, y);
    (mode ? reference::md_freq : reference::av_freq)(grid, literal, states, noinstrm, x, y);
    for (int i = 0; i < max_instruments; ++i)
      if (std::bit_cast<std::uint32_t>(engine[i]) != std::bit_cast<std::uint32_t>(literal[i]))
        return ::testing::AssertionFailure() << (mode ? "mode" : "mean") << " entry " << i
                                             << " is " << engine[i] << ", the model gives "
                                             << literal[i];
  }
  return ::testing::AssertionSuccess();
}

TEST_F(equivalence_test, BothReductionsMatchBitForBitOnBothKernelSets) {
  std::mt19937 rng(424242);
  for (int i = 0; i < 200; ++i) {
    force_portable_kernels(i % 2 == 1);
    const int Ns = draw_states(rng), x = draw_extent(rng), y = draw_extent(rng);
    const int noinstrm = uniform(rng, 0, 3) == 0 ? uniform(rng, 1, 4) : uniform(rng, 1, 100);
    fill_for_mapping(g->start, rng, Ns, x, y);
    // Two sets of positions on one grid: a change of positions between
    // iterations must show at once.
    for (int round = 0; round < 2; ++round)
      ASSERT_TRUE(same_reductions(g->start, random_positions(rng), noinstrm, x, y))
          << "case " << i << " round " << round << " Ns=" << Ns << " x=" << x << " y=" << y
          << " noinstrm=" << noinstrm;
  }
  // A full-size grid with long runs of one state, where a mode's counts pile
  // onto one counter.
  fill_for_mapping(g->start, rng, 40, 1000, 1000);
  for (int r = 1; r <= 300; ++r)
    for (int c = 1; c <= 1000; ++c) g->start[r][c] = 7;
  const position_array states = random_positions(rng);
  force_portable_kernels(false);
  for (const int noinstrm : {1, 2, 25, 99, 100})
    EXPECT_TRUE(same_reductions(g->start, states, noinstrm, 1000, 1000)) << noinstrm;
}

template <typename Write>
std::string notes_of(Write write, const frequency_array& freq, const frequency_array& instrm,
                     int count, int iteration, float dur) {
  temp_stream out;
  write(out.get(), freq, instrm, count, iteration, dur);
  return out.text();
}

TEST_F(equivalence_test, NotesPrintExactlyAsPrintfWould) {
  std::mt19937 rng(99);
  // Values whose sixth decimal is an exact tie (odd multiples of 1/128),
  // whole numbers, values too large or not finite for a plain conversion,
  // and negative ones.
  constexpr float inf = std::numeric_limits<float>::infinity();
  const float special[] = {0.0078125f, 0.0234375f, 1.0f / 128, 3.0f / 128, 0.5f,   2.5f,
                           0.0f,       -0.0f,      1e-7f,      5e-7f,      4.9999999e-7f,
                           1e12f,      3e15f,      1e30f,      3.4e38f,    -2.5f,  -1e-9f,
                           inf,        -inf,       std::numeric_limits<float>::quiet_NaN(),
                           14764.78f,  121.510475f};
  const auto pick_special = [&] { return special[uniform(rng, 0, std::size(special) - 1)]; };
  for (int i = 0; i < 400; ++i) {
    frequency_array freq{}, instrm{};
    for (int n = 0; n < max_instruments; ++n) {
      const int pick = uniform(rng, 0, 9);
      freq[n] = pick == 0 ? pick_special() : uniform_real(rng, 0.0, pick == 1 ? 1e-3 : 20000.0);
      instrm[n] = pick == 2 ? pick_special() : uniform_real(rng, 0.0, 100.0);
    }
    const int count = uniform(rng, 0, max_instruments);
    const int iteration = uniform(rng, 0, 3) == 0 ? uniform(rng, -5, 5) : uniform(rng, 0, 1000000);
    const float dur = uniform(rng, 0, 5) == 0 ? pick_special() : uniform_real(rng, 0.0, 1.0);
    ASSERT_EQ(notes_of(writesound, freq, instrm, count, iteration, dur),
              notes_of(reference::writesound, freq, instrm, count, iteration, dur))
        << "dur=" << dur << " iteration=" << iteration;
  }
}

class score_test : public equivalence_test {
 protected:
  // The same seeding and parameters for both renders: events change
  // Current_State, so each render starts from a copy.
  void expect_same_score(unsigned seed) {
    const auto path =
        std::filesystem::temp_directory_path() / ("zelmora-equivalence-" + std::to_string(seed));
    const parameters_type start = Current_State;
    std::srand(seed);
    ASSERT_EQ(play_ca(std::fopen(path.c_str(), "w")), render_complete);
    const std::string engine = test_support::slurp(path);
    std::filesystem::remove(path);
    temp_stream literal;
    Current_State = start;
    std::srand(seed);
    reference::render(literal.get(), g->literal[0], g->literal[1]);
    ASSERT_EQ(engine, literal.text());
  }
};

parameters_type draw_parameters(std::mt19937& rng) {
  parameters_type p = Current_State;
  const rule_case c = draw_rule_case(rng);
  p.r1 = static_cast<float>(c.r1);
  p.r2 = static_cast<float>(c.r2);
  p.k = static_cast<float>(c.k);
  p.Ns = c.Ns;
  p.x = std::min(c.x, 80);
  p.y = std::min(c.y, 80);
  p.states = random_positions(rng);
  for (float& a : p.instrm) a = uniform_real(rng, 0.0, 100.0);
  p.noinstrm = uniform(rng, 1, 100);
  p.dur = uniform(rng, 0, 1) == 0 ? 0.025f : uniform_real(rng, 0.001, 0.5);
  p.iter = uniform(rng, 0, 40);
  return p;
}

TEST_F(score_test, RandomScoresMatchTheModel) {
  std::mt19937 rng(1234);
  for (int i = 0; i < 40 && !HasFatalFailure(); ++i) {
    Current_State = draw_parameters(rng);
    Mean_Mode = i % 2;
    SCOPED_TRACE(::testing::Message() << "score " << i);
    expect_same_score(1000 + i);
  }
}

// Events change the rule, glide the positions and reseed the grid mid-render.
TEST_F(score_test, ScoresFollowingAnEventListMatchTheModel) {
  std::mt19937 rng(77);
  for (int i = 0; i < 6 && !HasFatalFailure(); ++i) {
    clear_event_list();
    Current_State = draw_parameters(rng);
    Current_State.iter = 40;
    const parameters_type change = draw_parameters(rng), glide = draw_parameters(rng);
    add_event_params(change, "change");
    set_event_time(1, 5);
    add_event_interp(glide, "glide", 12, 30);
    add_event_special();
    set_event_time(3, 33);
    Mean_Mode = i % 2;
    SCOPED_TRACE(::testing::Message() << "score " << i);
    expect_same_score(2000 + i);
  }
}

TEST_F(score_test, DefaultRenderOnThePortableKernelsMatches) {
  force_portable_kernels(true);
  expect_same_score(1);
  Mean_Mode = 1;
  expect_same_score(2);
}

}  // namespace
