// Speed of the engine beside the literal model in tests/core/reference.h:
// one automaton step, each reduction, the note writer, whole renders and
// the frame writer. Compare the two columns of the same run; the machine
// is shared.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "engine/automaton/automaton.h"
#include "engine/automaton/compact_grid.h"
#include "engine/mapping/compact_reduce.h"
#include "engine/externs.h"
#include "engine/render/frames.h"
#include "engine/automaton/kernel_threads.h"
#include "engine/mapping/mapping.h"
#include "engine/render/render.h"
#include "tests/core/reference.h"

namespace {

constexpr int warm_up_steps = 100;  // as grown by a render
constexpr int turbulent_steps = 1500;

// An open scratch file, removed at the end.
class scratch_file {
 public:
  explicit scratch_file(const char* name)
      : path_(std::filesystem::temp_directory_path() /
              (std::string("zelmora-bench-") + name + ".sco")) {}
  ~scratch_file() { std::filesystem::remove(path_); }
  scratch_file(const scratch_file&) = delete;
  scratch_file& operator=(const scratch_file&) = delete;
  std::FILE* open() const { return std::fopen(path_.c_str(), "w"); }

 private:
  std::filesystem::path path_;
};

// A grid a render would really hold: the defaults after some generations,
// so the reductions see the automaton's patches and spirals, not noise.
template <typename Grid>
struct grid_pair {
  Grid a{};
  Grid b{};
  Grid* current = &a;
  Grid* next = &b;
  void swap() { std::swap(current, next); }
};
using grids = grid_pair<grid_type>;

// The grid kernels' workspace, as an engine holds it.
kernel_workspace& kernels() {
  static kernel_workspace work(shared_row_pool());
  return work;
}

// The C library's rand(), as the default engine draws from it.
random_source rand_itself;

// The defaults' rule, as the render steps its byte grids with it.
compact_rule default_rule() {
  compact_rule rule;
  make_compact_rule(0.8, 1.2, 1.0, 40, rule);
  return rule;
}

// The same grid a byte a cell, as a render holds it.
using byte_grids = grid_pair<compact_grid>;

std::unique_ptr<byte_grids> warmed_bytes(int side, int steps = warm_up_steps) {
  // Each benchmark is called again for every repetition: grow each grid once.
  static std::map<std::pair<int, int>, std::unique_ptr<compact_grid>> grown;
  auto g = std::make_unique<byte_grids>();
  std::unique_ptr<compact_grid>& kept = grown[{side, steps}];
  if (kept == nullptr) {
    std::srand(1);
    compact_seed(*g->current, 40, side, side, rand_itself);
    const compact_rule rule = default_rule();
    for (int s = 0; s < steps; ++s) {
      compact_step(*g->current, *g->next, rule, kernels().step);
      g->swap();
    }
    kept = std::make_unique<compact_grid>(*g->current);
  }
  *g->current = *kept;
  return g;
}

std::unique_ptr<grids> warmed_grids(int side, int steps = warm_up_steps) {
  auto g = std::make_unique<grids>();
  compact_to_ints(*warmed_bytes(side, steps)->current, *g->current);
  return g;
}

position_array default_states() {
  position_array states{};
  for (int s = 0; s < 40; ++s) states[s] = 30.0f + static_cast<float>(s);
  return states;
}

void set_kernels(benchmark::State& state, bool portable) {
  force_portable_kernels(portable);
  state.SetLabel(std::string(active_kernel_set() == kernel_set::avx2 ? "avx2" : "portable") +
                 (kernel_threads() > 1 ? " 2 threads" : " 1 thread"));
}

void count_cells(benchmark::State& state, int side) {
  state.counters["ns_per_cell"] = benchmark::Counter(
      static_cast<double>(side) * side, benchmark::Counter::kIsIterationInvariantRate |
                                            benchmark::Counter::kInvert);
}

// Between the byte grids a render steps.
void BM_step(benchmark::State& state, bool portable) {
  const int side = static_cast<int>(state.range(0));
  auto g = warmed_bytes(side);
  const compact_rule rule = default_rule();
  set_kernels(state, portable);
  for (auto _ : state) {
    compact_step(*g->current, *g->next, rule, kernels().step);
    g->swap();
    benchmark::ClobberMemory();
  }
  force_portable_kernels(false);
  count_cells(state, side);
}

void BM_step_reference(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  auto g = warmed_grids(side);
  for (auto _ : state) {
    reference::step(*g->current, *g->next, 0.8, 1.2, 1.0, 40, side, side);
    g->swap();
    benchmark::ClobberMemory();
  }
  count_cells(state, side);
}

// What a render does each iteration, on its byte grids: one step, then the
// reduction and the notes of the new generation.
// Arguments: grid side, instruments, 0 mean / 1 mode.
void BM_iteration(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const int instruments = static_cast<int>(state.range(1));
  auto g = warmed_bytes(side);
  const compact_rule rule = default_rule();
  const std::array<float, max_states>& frequency = state_frequencies(default_states());
  std::array<float, max_instruments> instrm{};
  instrm.fill(50.0f);
  frequency_array freq{};
  scratch_file file("iteration");
  std::FILE* fp = file.open();
  set_kernels(state, false);
  int t = 0;
  for (auto _ : state) {
    compact_step(*g->current, *g->next, rule, kernels().step);
    g->swap();
    if (state.range(2) != 0)
      compact_md_freq(*g->current, freq, frequency, instruments, kernels().mode);
    else
      compact_av_freq(*g->current, freq, frequency, instruments, kernels().rows());
    writesound(fp, freq, instrm, instruments, t % 600, 0.025f);
    if (++t % 600 == 0) std::rewind(fp);
  }
  std::fclose(fp);
  count_cells(state, side);
}

// The same on int grids with the literal model.
void BM_iteration_reference(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const int instruments = static_cast<int>(state.range(1));
  auto g = warmed_grids(side);
  const position_array states = default_states();
  std::array<float, max_instruments> instrm{};
  instrm.fill(50.0f);
  frequency_array freq{};
  scratch_file file("iteration-reference");
  std::FILE* fp = file.open();
  int t = 0;
  for (auto _ : state) {
    reference::step(*g->current, *g->next, 0.8, 1.2, 1.0, 40, side, side);
    g->swap();
    (state.range(2) != 0 ? reference::md_freq : reference::av_freq)(*g->current, freq, states,
                                                                     instruments, side, side);
    reference::writesound(fp, freq, instrm, instruments, t % 600, 0.025f);
    if (++t % 600 == 0) std::rewind(fp);
  }
  std::fclose(fp);
  count_cells(state, side);
}

// Seeding a side x side grid, as a render's first iteration does: into
// bytes, and into an int grid as init_array() does.
void BM_seed(benchmark::State& state, bool bytes) {
  const int side = static_cast<int>(state.range(0));
  auto g = std::make_unique<byte_grids>();
  for (auto _ : state) {
    if (bytes) compact_seed(g->a, 40, side, side, rand_itself);
    else init_array(grid1, 40, side, side);
    benchmark::ClobberMemory();
  }
  count_cells(state, side);
}

void BM_seed_reference(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  auto g = std::make_unique<grid_type>();
  for (auto _ : state) {
    reference::init_array(*g, 40, side, side);
    benchmark::ClobberMemory();
  }
  count_cells(state, side);
}

// Arguments: grid side, instruments, and the generations grown from the
// seeding (0: noise, without the runs of a grown grid).
template <typename Reduce>
void run_reduction(benchmark::State& state, Reduce reduce) {
  const int side = static_cast<int>(state.range(0));
  const int instruments = static_cast<int>(state.range(1));
  auto g = warmed_grids(side, static_cast<int>(state.range(2)));
  const position_array states = default_states();
  frequency_array freq{};
  for (auto _ : state) {
    reduce(*g->current, freq, states, instruments, side, side);
    benchmark::DoNotOptimize(freq);
  }
  count_cells(state, side);
}

// The same grid as a render holds it, a byte a cell.
template <typename Reduce>
void run_byte_reduction(benchmark::State& state, Reduce reduce) {
  const int side = static_cast<int>(state.range(0));
  const int instruments = static_cast<int>(state.range(1));
  auto g = warmed_bytes(side, static_cast<int>(state.range(2)));
  const std::array<float, max_states>& frequency = state_frequencies(default_states());
  frequency_array freq{};
  set_kernels(state, false);
  for (auto _ : state) {
    reduce(*g->current, freq, frequency, instruments);
    benchmark::DoNotOptimize(freq);
  }
  count_cells(state, side);
}

void BM_mean(benchmark::State& state) {
  run_byte_reduction(state, [](auto&... args) { compact_av_freq(args..., kernels().rows()); });
}
void BM_mode(benchmark::State& state) {
  run_byte_reduction(state, [](auto&... args) { compact_md_freq(args..., kernels().mode); });
}
void BM_mean_reference(benchmark::State& state) { run_reduction(state, reference::av_freq); }
void BM_mode_reference(benchmark::State& state) { run_reduction(state, reference::md_freq); }

// One picture of a side x side grid as --frames writes it, from the bytes,
// on the turbulence the defaults settle into.
void BM_frame(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  auto g = warmed_bytes(side, turbulent_steps);
  const auto path = std::filesystem::temp_directory_path() / "zelmora-bench-frame.png";
  for (auto _ : state)
    if (!write_grid_picture(path.string(), *g->current, 40)) state.SkipWithError("write failed");
  std::filesystem::remove(path);
}

template <typename Write>
void run_writesound(benchmark::State& state, Write write) {
  frequency_array freq{};
  std::array<float, max_instruments> instrm{};
  for (int i = 0; i < max_instruments; ++i) {
    freq[i] = 100.0f + 13.37f * static_cast<float>(i);
    instrm[i] = 50.0f;
  }
  scratch_file file("notes");
  std::FILE* fp = file.open();
  int iteration = 0;
  for (auto _ : state) {
    write(fp, freq, instrm, max_instruments, iteration, 0.025f);
    iteration = (iteration + 1) % 600;
    if (iteration == 0) std::rewind(fp);
  }
  std::fclose(fp);
  state.SetItemsProcessed(state.iterations() * max_instruments);
}

void BM_writesound(benchmark::State& state) { run_writesound(state, writesound); }
void BM_writesound_reference(benchmark::State& state) {
  run_writesound(state, reference::writesound);
}

// The render's parameters: the defaults on a side x side grid.
void set_render_parameters(int side, int instruments) {
  systeminit();
  Current_State.x = side;
  Current_State.y = side;
  Current_State.noinstrm = instruments;
  for (int i = 0; i < instruments; ++i) Current_State.instrm[i] = 50.0f;
  Mean_Mode = 0;
}

void BM_render(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  set_render_parameters(side, static_cast<int>(state.range(1)));
  scratch_file file("render");
  for (auto _ : state) {
    if (play_ca(file.open()) != render_complete) state.SkipWithError("render failed");
  }
}

void BM_render_reference(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  set_render_parameters(side, static_cast<int>(state.range(1)));
  scratch_file file("render-reference");
  auto g = std::make_unique<grids>();
  for (auto _ : state) {
    std::FILE* fp = file.open();
    reference::render(fp, g->a, g->b);
    std::fclose(fp);
  }
}

}  // namespace

BENCHMARK_CAPTURE(BM_step, avx2, false)->Arg(50)->Arg(250)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_step, portable, true)->Arg(50)->Arg(250)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_iteration)->Args({1000, 100, 0})->Args({1000, 100, 1})->Args({50, 25, 0})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_iteration_reference)->Args({1000, 100, 0})->Args({1000, 100, 1})->Args({50, 25, 0})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_seed, bytes, true)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_seed, ints, false)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_seed_reference)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_step_reference)->Arg(50)->Arg(250)->Arg(1000)->Unit(benchmark::kMicrosecond);

void reduction_cases(benchmark::internal::Benchmark* b) {
  b->Args({1000, 100, warm_up_steps})->Args({1000, 1, warm_up_steps})->Args({50, 25, warm_up_steps});
  // Fresh noise, and the turbulence the defaults settle into (runs of
  // about 1.5 cells from generation 1000 on).
  b->Args({1000, 100, 0})->Args({1000, 100, turbulent_steps})->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_mean)->Apply(reduction_cases);
BENCHMARK(BM_mean_reference)->Apply(reduction_cases);
BENCHMARK(BM_mode)->Apply(reduction_cases);
BENCHMARK(BM_mode_reference)->Apply(reduction_cases);

BENCHMARK(BM_frame)->Arg(1000)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_writesound)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_writesound_reference)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_render)->Args({50, 25})->Args({250, 100})->Args({1000, 100})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_render_reference)->Args({50, 25})->Args({250, 100})->Unit(benchmark::kMillisecond);
// About 13 s a render: once is enough.
BENCHMARK(BM_render_reference)->Args({1000, 100})->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
