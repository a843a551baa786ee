// CPU per instance of zelmora.lv2 at 48 kHz: the share of one core that
// run() and the worker take, medians of five runs of 10 s of sound each,
// for the default set and for rain at 1 ms grains.
//   zelmora_lv2_cost [BUNDLE_DIR [EXAMPLES_DIR [BLOCK]]]
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/lv2_host.h"

namespace {

constexpr double rate = 48000;
constexpr double seconds = 10;
constexpr int runs = 5;

struct piece {
  const char* name;
  std::string set;  // the parameter set's text; empty for the default one
  float grain;      // on the grain port once playing; 0 leaves the set's
};

struct cost {
  double run, work;  // shares of a core
};

cost one_run(lv2_world& world, const piece& p, std::uint32_t block) {
  lv2_instance instance(world, rate, block);
  if (!p.set.empty() && instance.restore({{world.id(ZELMORA_LV2_PREFIX "parameters"), p.set}}) !=
                            LV2_STATE_SUCCESS)
    throw std::runtime_error(std::string(p.name) + ": the set is refused");
  instance.activate();
  instance.play(static_cast<std::size_t>(rate / 10), false);
  if (p.grain > 0) instance.control(port_grain) = p.grain;
  instance.run_seconds = instance.work_seconds = 0;
  instance.play(static_cast<std::size_t>(seconds * rate), false);
  return {instance.run_seconds / seconds, instance.work_seconds / seconds};
}

double median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

std::string text_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("can't read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) try {
  const std::string bundle = argc > 1 ? argv[1] : "build/lib/lv2/zelmora.lv2";
  const std::string examples = argc > 2 ? argv[2] : "examples";
  const auto block = static_cast<std::uint32_t>(argc > 3 ? std::stoul(argv[3]) : 256);
  lv2_world world(bundle);
  const piece pieces[] = {{"default set", "", 0}, {"rain, 1 ms grains", text_of(examples + "/rain.csp"), 0.001f}};
  std::printf("zelmora.lv2 at 48 kHz, blocks of %u: %% of a core per instance (median of %d)\n",
              block, runs);
  std::printf("%-20s %8s %8s %8s\n", "", "run()", "worker", "both");
  for (const piece& p : pieces) {
    std::vector<double> run, work, both;
    for (int r = 0; r < runs; ++r) {
      const cost c = one_run(world, p, block);
      run.push_back(c.run);
      work.push_back(c.work);
      both.push_back(c.run + c.work);
    }
    std::printf("%-20s %7.2f%% %7.2f%% %7.2f%%\n", p.name, 100 * median(run), 100 * median(work),
                100 * median(both));
  }
  return 0;
} catch (const std::exception& e) {
  std::fprintf(stderr, "zelmora_lv2_cost: %s\n", e.what());
  return 1;
}
