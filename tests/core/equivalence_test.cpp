// The engine against the literal model in reference.h, bit for bit, over
// randomized parameters (fixed seeds): the byte kernels chosen by name (AVX2
// where the processor has it, portable everywhere) with one and two kernel
// threads, and the plain int code that renders what the bytes cannot hold.
// The steps reach every branch of the cell rule and its caps, through the
// kernels' tables and through update() beyond them.

#include <bit>
#include <random>
#include <tuple>

#include "engine/automaton/automaton.h"
#include "engine/automaton/compact_grid.h"
#include "engine/mapping/compact_reduce.h"
#include "engine/automaton/kernel_threads.h"
#include "engine/mapping/mapping.h"
#include "engine/render/render.h"
#include "tests/core/reference.h"
#include "tests/core/test_support.h"

namespace {

struct rule_case {
  double r1, r2, k;
  int Ns, x, y;
};

int uniform(std::mt19937& rng, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(rng);
}

float uniform_real(std::mt19937& rng, double low, double high) {
  return static_cast<float>(std::uniform_real_distribution<double>(low, high)(rng));
}

// r1 and r2: mostly the control panel's 0.01 steps, some large, some tiny,
// some ratios of small whole numbers.
float draw_divisor(std::mt19937& rng) {
  const int pick = uniform(rng, 0, 9);
  return pick == 0   ? uniform_real(rng, 10.0, 1000.0)
         : pick == 1 ? uniform_real(rng, 1e-6, 1e-3)
         : pick == 2 ? static_cast<float>(uniform(rng, 1, 8)) / uniform(rng, 1, 8)
                     : static_cast<float>(uniform(rng, 1, 1000)) / 100.0f;
}

// Whole numbers up to 1000 make the uncapped branch leave states of Ns and more.
float draw_k(std::mt19937& rng) {
  const int pick = uniform(rng, 0, 9);
  return pick == 0   ? static_cast<float>(uniform(rng, 0, 1000))
         : pick == 1 ? uniform_real(rng, 0.0, 1e-6)
         : pick == 2 ? static_cast<float>(uniform(rng, 0, 12))
                     : static_cast<float>(uniform(rng, 0, 1000)) / 100.0f;
}

// Sides 0..200, weighted to tiny ones and to the ends of 8-cell vectors.
int draw_extent(std::mt19937& rng) {
  const int pick = uniform(rng, 0, 3);
  return pick == 0   ? uniform(rng, 0, 3)
         : pick == 1 ? 8 * uniform(rng, 0, 3) + uniform(rng, -1, 1) + 1
                     : uniform(rng, 0, 200);
}

int draw_states(std::mt19937& rng) {
  const int pick = uniform(rng, 0, 4);
  return pick == 0 ? uniform(rng, 1, 3) : pick == 1 ? 100 : uniform(rng, 1, 100);
}

// Braces evaluate in order: r1, r2, k, Ns, x, y.
rule_case draw_rule_case(std::mt19937& rng) {
  return {draw_divisor(rng), draw_divisor(rng), draw_k(rng),
          draw_states(rng),  draw_extent(rng),  draw_extent(rng)};
}

// States 0..Ns-1, `odd` percent of them Ns..1000 or, with `negative`, half
// of those below 0. The border is filled.
void fill(grid_type& grid, std::mt19937& rng, int Ns, int x, int y, int odd, bool negative) {
  for (int r = 1; r <= x; ++r)
    for (int c = 1; c <= y; ++c)
      grid[r][c] = uniform(rng, 0, 99) >= odd          ? uniform(rng, 0, Ns - 1)
                   : negative && uniform(rng, 0, 1) ? -uniform(rng, 1, 1000)
                                                    : uniform(rng, Ns, 1000);
  reference::swap_boundaries(grid, x, y);
}

position_array random_positions(std::mt19937& rng) {
  position_array states{};
  for (float& s : states)
    s = uniform(rng, 0, 4) == 0 ? static_cast<float>(uniform(rng, 0, 100))
                                : uniform_real(rng, 0.0, 100.0);
  return states;
}

parameters_type draw_parameters(std::mt19937& rng) {
  const rule_case c = draw_rule_case(rng);
  parameters_type p = Current_State;
  std::tie(p.r1, p.r2, p.k, p.Ns) = std::tuple(c.r1, c.r2, c.k, c.Ns);
  std::tie(p.x, p.y) = std::pair(std::min(c.x, 80), std::min(c.y, 80));
  p.states = random_positions(rng);
  for (float& a : p.instrm) a = uniform_real(rng, 0.0, 100.0);
  p.noinstrm = uniform(rng, 1, 100);
  p.dur = uniform(rng, 0, 1) == 0 ? 0.025f : uniform_real(rng, 0.001, 0.5);
  p.iter = uniform(rng, 0, 40);
  return p;
}

// Changes the set in force as a window would between a render's notes and
// its step.
struct meddler final : iteration_sink {
  void (*meddle)(int);
  explicit meddler(void (*m)(int)) : meddle(m) {}
  void on_iteration(const iteration& it) override {
    if (meddle) meddle(it.number);
  }
};

// Parameter: the portable kernels forced.
class equivalence_test : public test_support::core_test,
                         public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    core_test::SetUp();
    force_portable_kernels(GetParam());
    if (GetParam()) ASSERT_EQ(active_kernel_set(), kernel_set::portable);
    else if (active_kernel_set() != kernel_set::avx2) GTEST_SKIP() << "no AVX2 here";
  }
  void TearDown() override {
    force_portable_kernels(false);
    set_kernel_threads(0);
    core_test::TearDown();
  }

  // Every cell a step writes, rows 0..x+1 and columns 0..y+1, by update()
  // and, where the states and the rule fit, on bytes.
  void expect_same_steps(const rule_case& c, int steps) {
    SCOPED_TRACE(::testing::Message() << "r1=" << c.r1 << " r2=" << c.r2 << " k=" << c.k
                                      << " Ns=" << c.Ns << " x=" << c.x << " y=" << c.y);
    g->engine[0] = g->literal[0] = g->start;
    // An empty extent still wraps what the target held before.
    g->engine[1] = g->literal[1];
    compact_rule rule;
    const bool fits = c.x > 0 && c.y > 0 && make_compact_rule(c.r1, c.r2, c.k, c.Ns, rule) &&
                      compact_from_ints(g->start, g->bytes[0], c.x, c.y);
    for (int s = 0; s < steps; ++s) {
      const int from = s % 2, to = 1 - s % 2;
      step_grid(g->engine[from], g->engine[to], c.r1, c.r2, c.k, c.Ns, c.x, c.y);
      reference::step(g->literal[from], g->literal[to], c.r1, c.r2, c.k, c.Ns, c.x, c.y);
      if (fits) {
        compact_step(g->bytes[from], g->bytes[to], rule, kernels.step);
        compact_to_ints(g->bytes[to], g->from_bytes);
      }
      for (int r = 0; r <= c.x + 1; ++r)
        for (int col = 0; col <= c.y + 1; ++col) {
          ASSERT_EQ(g->engine[to][r][col], g->literal[to][r][col])
              << "cell [" << r << "][" << col << "] after step " << s + 1;
          if (fits) {
            ASSERT_EQ(g->from_bytes[r][col], g->literal[to][r][col])
                << "byte cell [" << r << "][" << col << "] after step " << s + 1;
          }
        }
    }
  }

  // Events change Current_State, so both renders start from a copy.
  void expect_same_score(unsigned seed, void (*meddle)(int) = nullptr) {
    const parameters_type start = Current_State;
    test_support::temp_stream engine, literal;
    std::srand(seed);
    grid1 = g->literal[0];  // what a moved extent takes in
    grid2 = g->literal[1];
    meddler sink{meddle};
    const sink_registration meddling(sink);
    ASSERT_EQ(play_ca(::fdopen(::dup(::fileno(engine.get())), "w")), render_complete);
    Current_State = start;
    std::srand(seed);
    reference::render(literal.get(), g->literal[0], g->literal[1], meddle);
    ASSERT_EQ(engine.text(), literal.text());
    // The int grids hold the last generations, however the render ran.
    const int x = clamp_extent(Current_State.x), y = clamp_extent(Current_State.y);
    for (int r = 0; r <= x + 1; ++r)
      for (int c = 0; c <= y + 1; ++c)
        ASSERT_TRUE(grid1[r][c] == g->literal[0][r][c] && grid2[r][c] == g->literal[1][r][c])
            << "cell [" << r << "][" << c << "]";
  }

  struct grids {
    std::array<grid_type, 2> engine{}, literal{};
    grid_type start{}, from_bytes{};
    std::array<compact_grid, 2> bytes{};
  };
  std::unique_ptr<grids> g = std::make_unique<grids>();
  kernel_workspace kernels{shared_row_pool()};
};

INSTANTIATE_TEST_SUITE_P(Kernels, equivalence_test, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "portable" : "avx2"; });

void expect_same_bits(const frequency_array& engine, const frequency_array& literal,
                      const char* what) {
  for (int i = 0; i < max_instruments; ++i)
    ASSERT_EQ(std::bit_cast<std::uint32_t>(engine[i]), std::bit_cast<std::uint32_t>(literal[i]))
        << what << " entry " << i << " is " << engine[i] << ", the model gives " << literal[i];
}

// Both reductions entry by entry on int grids and on byte grids, where
// negative states read as 0 and large ones as 99, so the grid with those
// made 0 and 300 reduces alike.
void expect_same_reductions(const grid_type& grid, const position_array& states, int noinstrm,
                            int x, int y) {
  auto fitting = std::make_unique<grid_type>(grid);
  for (auto& row : *fitting)
    for (std::int32_t& v : row) v = v < 0 ? 0 : (v >= big_cell ? 300 : v);
  auto bytes = std::make_unique<compact_grid>();
  ASSERT_TRUE(compact_from_ints(*fitting, *bytes, x, y));
  std::array<float, max_states> frequency;
  for (int s = 0; s < max_states; ++s) frequency[s] = position_frequency(states[s]);
  frequency_array unset;
  unset.fill(-1.0f);
  kernel_workspace kernels(shared_row_pool());
  for (const bool mode : {false, true}) {
    frequency_array engine = unset, from_bytes = unset, literal = unset;
    (mode ? md_freq : av_freq)(grid, engine, states, noinstrm, x, y);
    if (mode)
      compact_md_freq(*bytes, from_bytes, frequency, noinstrm, kernels.mode);
    else
      compact_av_freq(*bytes, from_bytes, frequency, noinstrm, kernels.rows());
    (mode ? reference::md_freq : reference::av_freq)(grid, literal, states, noinstrm, x, y);
    expect_same_bits(engine, literal, mode ? "mode" : "mean");
    expect_same_bits(from_bytes, literal, mode ? "byte mode" : "byte mean");
  }
}

TEST_P(equivalence_test, StepsAndReductionsMatchTheModel) {
  std::mt19937 rng(GetParam() ? 20240602 : 20240601);
  for (int i = 0; i < 60 && !HasFatalFailure(); ++i) {
    const rule_case c = draw_rule_case(rng);
    fill(g->start, rng, c.Ns, c.x, c.y, uniform(rng, 0, 2) == 0 ? 20 : 0, i % 2 == 1);
    const int noinstrm = uniform(rng, 0, 3) == 0 ? uniform(rng, 1, 4) : uniform(rng, 1, 100);
    SCOPED_TRACE(::testing::Message() << "case " << i << " noinstrm=" << noinstrm);
    // A change of positions between iterations must show at once.
    for (int positions = 0; positions < 2; ++positions)
      expect_same_reductions(g->start, random_positions(rng), noinstrm, c.x, c.y);
    expect_same_steps(c, 3);
  }
  // Beyond the tables, so by update() alone: negative k or r1, more than 100 states.
  for (const rule_case& c : {rule_case{0.8, 1.2, -3.5, 40, 33, 35}, rule_case{-0.8, 1.2, 1.0, 40, 33, 35},
                             rule_case{0.8, 1.2, 1.0, 150, 33, 35}}) {
    fill(g->start, rng, c.Ns, c.x, c.y, 10, false);
    expect_same_steps(c, 3);
  }
  // Full size on one thread and two; k = 300 leaves states of 300, as the big one.
  std::srand(3);
  reference::init_array(g->start, 40, 1000, 1000);
  for (const int threads : {1, 2}) {
    set_kernel_threads(threads);
    expect_same_steps({0.8, 1.2, threads == 1 ? 1.0 : 300.0, 40, 1000, 1000}, 2);
  }
  // Full size reductions: long runs of one state, then runs of random length
  // whose values outside the tables clamp alike, then short runs.
  fill(g->start, rng, 2, 1000, 1000, 30, true);
  for (int r = 1; r <= 600; ++r)
    for (int c = 1; c <= 1000;) {
      const int value = r <= 300 ? 7 : uniform(rng, -100, 200);
      for (int n = uniform(rng, 1, 40); n > 0 && c <= 1000; --n, ++c)
        g->start[r][c] = value + (r > 300 && uniform(rng, 0, 9) == 0);
    }
  const position_array states = random_positions(rng);
  for (const int threads : {1, 2}) {
    set_kernel_threads(threads);
    expect_same_reductions(g->start, states, threads == 1 ? 99 : 25, 1000, 1000);
  }
  // Noise of nine states: in many of the 100 blocks the two commonest
  // states are a few cells apart, so a count off in any bit plane shows.
  std::srand(9);
  reference::init_array(g->start, 9, 1000, 1000);
  for (const int threads : {1, 2}) {
    set_kernel_threads(threads);
    expect_same_reductions(g->start, states, 100, 1000, 1000);
  }
  // States 100 to 127 count as 99: together they outnumber the 5s.
  for (int r = 1; r <= 40; ++r)
    for (int c = 1; c <= 64; ++c) g->start[r][c] = c % 10 < 3 ? 5 : 100 + (r + c) % 28;
  expect_same_reductions(g->start, states, 1, 40, 64);
  // Runs of one cell: every fourth cell is 6, the largest state, 65 750 of
  // them, more than a 16-bit counter holds, and more than any other state.
  // Counted by groups of states, then, with a state of 200 in every row,
  // cell by cell.
  for (int r = 1; r <= 263; ++r)
    for (int c = 1; c <= 1000; ++c) g->start[r][c] = (c - 1) % 4 == 0 ? 6 : (r + c) % 6;
  expect_same_reductions(g->start, states, 1, 263, 1000);
  for (int r = 1; r <= 263; ++r) g->start[r][2] = 200;
  expect_same_reductions(g->start, states, 1, 263, 1000);
}

// Whole scores: 300 x 300 for the kernel threads to share the rows, random
// parameters in both reductions, and events that change the rule and the
// duration, glide the positions and reseed the grid mid-render: the
// seeding, on ints and on bytes, draws what rand() gives and the second
// goes on from the generator state the first left.
TEST_P(equivalence_test, ScoresMatchTheModel) {
  Current_State.x = Current_State.y = 300;
  Current_State.iter = 3;
  set_kernel_threads(2);
  expect_same_score(7);
  set_kernel_threads(0);
  std::mt19937 rng(1234);
  for (int i = 0; i < 16 && !HasFatalFailure(); ++i) {
    clear_event_list();
    Current_State = draw_parameters(rng);
    if (i >= 12) {
      Current_State.iter = 40;
      const parameters_type change = draw_parameters(rng), glide = draw_parameters(rng);
      add_event_params(change, "change");
      set_event_time(1, 5);
      add_event_interp(glide, "glide", 12, 30);
      add_event_special();
      set_event_time(3, 33);
    }
    Mean_Mode = i % 2;
    SCOPED_TRACE(::testing::Message() << "score " << i);
    expect_same_score(1000 + i);
  }
}

// Sets the byte grids cannot hold render on ints: from the start (300
// states, a negative k or r2), or from an event on (a glide to a negative
// k). The extent moved mid-render (a slider during live play) is followed
// on bytes.
TEST_P(equivalence_test, ScoresBeyondTheByteGridMatchTheModel) {
  Current_State.x = Current_State.y = 60;
  Current_State.iter = 12;
  const parameters_type fitting = Current_State;
  for (const auto& [Ns, k, r2] : {std::tuple{300, 1.0f, 1.2f}, std::tuple{40, -2.5f, 1.2f},
                                  std::tuple{40, 1.0f, -1.2f}}) {
    std::tie(Current_State.Ns, Current_State.k, Current_State.r2) = std::tuple(Ns, k, r2);
    expect_same_score(5);
  }
  Current_State = fitting;
  parameters_type glide = Current_State;
  glide.Ns = 40;
  glide.k = -20.0f;
  Current_State.k = 3.0f;
  add_event_interp(glide, "glide", 4, 10);
  Mean_Mode = 1;
  expect_same_score(6);
  clear_event_list();
  Current_State = fitting;
  expect_same_score(8, [](int t) {
    if (t == 3) Current_State.x = 80;
    if (t == 6) Current_State.y = 20;
  });
}

// Also the exact note format for values random scores seldom hold: exact
// ties at the sixth decimal (odd multiples of 1/128), values too large or
// not finite for a plain conversion, negative ones. The model prints with
// printf.
TEST(notes_test, NotesPrintExactlyAsPrintfWould) {
  const float special[] = {0.0078125f, 0.0234375f, 0.5f, 2.5f, 0.0f, -0.0f, 1e-7f, 5e-7f,
                           4.9999999e-7f, 1e12f, 3e15f, 1e30f, 3.4e38f, -2.5f, -1e-9f,
                           HUGE_VALF, -HUGE_VALF, std::nanf(""), 14764.78f, 121.510475f};
  for (const float a : special)
    for (const float b : special) {
      frequency_array freq, instrm;
      freq.fill(a);
      instrm.fill(b);
      for (const int iteration : {-3, 0, 7, 1000000}) {
        test_support::temp_stream engine, literal;
        writesound(engine.get(), freq, instrm, 2, iteration, b);
        reference::writesound(literal.get(), freq, instrm, 2, iteration, b);
        ASSERT_EQ(engine.text(), literal.text()) << a << " " << b << " " << iteration;
      }
    }
}

}  // namespace
