// The grain voices' cost: one second of sound from 100 voices, all
// sounding, at the grain length (ms) given, rendered a control period at a
// time as the opcode renders it. The time of one iteration is the CPU time
// a second of sound costs.
#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <vector>

#include "dsp/grain_voices.h"

namespace {

constexpr double rate = 44100;
constexpr int period = 32;
constexpr int instruments = 100;

// The notes of one second and a grain beyond, every voice at its own pitch
// and level, changing each grain as a busy automaton changes them.
std::vector<note> busy_second(double grain) {
  std::mt19937 random(22);
  std::uniform_real_distribution<double> pitch(60, 4000), level(100, 2000);
  std::vector<note> notes;
  for (double t = 0; t < 1 + grain; t += grain)
    for (int i = 1; i <= instruments; ++i) notes.push_back({i, t, grain, level(random), pitch(random)});
  return notes;
}

void BM_grain_voices(benchmark::State& state) {
  const double grain = static_cast<double>(state.range(0)) / 1000;
  const std::vector<note> notes = busy_second(grain);
  std::array<double, period> left{}, right{};
  for (auto _ : state) {
    grain_voices voices(rate, period);
    std::size_t next = 0;
    for (int done = 0; done < static_cast<int>(rate); done += period) {
      const double until = (done + 2.0 * period) / rate;
      while (next < notes.size() && notes[next].start < until) voices.add(notes[next++]);
      voices.render(left.data(), right.data(), period);
      benchmark::DoNotOptimize(voices.voices());
    }
    benchmark::DoNotOptimize(left.data());
  }
}

}  // namespace

BENCHMARK(BM_grain_voices)->Arg(1)->Arg(5)->Arg(25)->Unit(benchmark::kMillisecond);
