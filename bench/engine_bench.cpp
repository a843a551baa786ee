// Speed of the engine beside the literal model in tests/core/reference.h:
// one automaton step, each reduction, the note writer and whole renders.
// Compare the two columns of the same run; the machine is shared.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/automaton.h"
#include "engine/externs.h"
#include "engine/mapping.h"
#include "engine/render.h"
#include "engine/step_kernels.h"
#include "tests/core/reference.h"

namespace {

constexpr int warm_up_steps = 100;  // as grown by a render

// A grid a render would really hold: the defaults after some generations,
// so the reductions see the automaton's patches and spirals, not noise.
struct grids {
  grid_type a{};
  grid_type b{};
  grid_type* current = &a;
  grid_type* next = &b;
  void swap() { std::swap(current, next); }
};

std::unique_ptr<grids> warmed_grids(int side, int steps = warm_up_steps) {
  auto g = std::make_unique<grids>();
  std::srand(1);
  init_array(*g->current, 40, side, side);
  for (int s = 0; s < steps; ++s) {
    step_grid(*g->current, *g->next, 0.8, 1.2, 1.0, 40, side, side);
    g->swap();
  }
  return g;
}

position_array default_states() {
  position_array states{};
  for (int s = 0; s < 40; ++s) states[s] = 30.0f + static_cast<float>(s);
  return states;
}

void set_kernels(benchmark::State& state, bool portable) {
  force_portable_kernels(portable);
  state.SetLabel(active_kernel_set() == kernel_set::avx2 ? "avx2" : "portable");
}

void count_cells(benchmark::State& state, int side) {
  state.counters["ns_per_cell"] = benchmark::Counter(
      static_cast<double>(side) * side, benchmark::Counter::kIsIterationInvariantRate |
                                            benchmark::Counter::kInvert);
}

void BM_step(benchmark::State& state, bool portable) {
  const int side = static_cast<int>(state.range(0));
  auto g = warmed_grids(side);
  set_kernels(state, portable);
  for (auto _ : state) {
    step_grid(*g->current, *g->next, 0.8, 1.2, 1.0, 40, side, side);
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

void BM_mean(benchmark::State& state) { run_reduction(state, av_freq); }
void BM_mean_reference(benchmark::State& state) { run_reduction(state, reference::av_freq); }
void BM_mode(benchmark::State& state) { run_reduction(state, md_freq); }
void BM_mode_reference(benchmark::State& state) { run_reduction(state, reference::md_freq); }

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

BENCHMARK_CAPTURE(BM_step, fast, false)->Arg(50)->Arg(250)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_step, portable, true)->Arg(50)->Arg(250)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_step_reference)->Arg(50)->Arg(250)->Arg(1000)->Unit(benchmark::kMicrosecond);

void reduction_cases(benchmark::internal::Benchmark* b) {
  b->Args({1000, 100, warm_up_steps})->Args({1000, 1, warm_up_steps})->Args({50, 25, warm_up_steps});
  b->Args({1000, 100, 0})->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_mean)->Apply(reduction_cases);
BENCHMARK(BM_mean_reference)->Apply(reduction_cases);
BENCHMARK(BM_mode)->Apply(reduction_cases);
BENCHMARK(BM_mode_reference)->Apply(reduction_cases);

BENCHMARK(BM_writesound)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_writesound_reference)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_render)->Args({50, 25})->Args({250, 100})->Args({1000, 100})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_render_reference)->Args({50, 25})->Args({250, 100})->Unit(benchmark::kMillisecond);
// About 13 s a render: once is enough.
BENCHMARK(BM_render_reference)->Args({1000, 100})->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
