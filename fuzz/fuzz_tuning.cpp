// Scala scales and keyboard mappings as a user's file brings them: the
// first byte picks the kind, the rest is the file. A refusal names a line
// and changes no state; an accepted scale places, names and snaps every
// frequency to a tone that is its own nearest, and tunes the states to
// values a set may hold.
#include <cmath>
#include <string>

#include "engine/externs.h"
#include "engine/engine.h"
#include "engine/mapping/beat_grid.h"
#include "engine/mapping/retune.h"
#include "engine/mapping/tuning.h"
#include "files/param_file.h"
#include "files/tuning_file.h"
#include "fuzz_support.h"

namespace {

// Each refusal says where.
void require_named(const std::string& error) {
  fuzz::require(!error.empty(), "a refused file is named with its reason");
}

void check_tones(const scale_tones& tones, double hz) {
  const nearest_tone near = nearest_tone_of(tones, hz);
  if (!(hz > 0)) return;
  fuzz::require(std::isfinite(near.cents_off), "a pitch lies a finite way off its tone");
  if (near.hz > 0 && std::isfinite(near.hz)) {
    const nearest_tone again = nearest_tone_of(tones, near.hz);
    fuzz::require(std::fabs(again.cents_off) < 1e-6, "a tone is its own nearest");
  }
  note_name(&tones, hz);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::quiet_start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool mapping = (data[0] & 1) != 0;
  const double hz = 20.0 + (data[0] >> 1) * 100.0;  // a pitch to name and snap
  static const std::string scratch = fuzz::scratch_directory();
  const std::string path = scratch + (mapping ? "/t.kbm" : "/t.scl");
  fuzz::write_file(path, data + 1, size - 1);

  engine& e = default_engine();
  const parameters_type before = e.state;
  tuning_source source;
  std::string error;
  if (!read_tuning_file(path, source, error)) {
    require_named(error);
    return 0;
  }
  retune_report report;
  if (!retune_states(e, source, report)) {
    fuzz::require(!report.refused.empty(), "a refused tuning says why");
    fuzz::require(e.state == before, "a refused tuning changes nothing");
    return 0;
  }
  fuzz::require(check_parameters(e.state) == 0, "tuned states are ones a set may hold");
  retune_notes(report);
  const tuning& tuned = tuning_of(e);
  check_tones(tuned.quantize_tones(), hz);
  note_name(nullptr, hz);
  // Quantized blocks are tones of the scale.
  tuning_of(e).quantize = true;
  frequency_array blocks{};
  blocks[0] = hz;
  blocks[1] = hz * 1.37;
  quantize_blocks(e, blocks, 2);
  for (int b = 0; b < 2; ++b)
    if (std::isfinite(blocks[b]))
      fuzz::require(std::fabs(nearest_tone_of(tuned.quantize_tones(), blocks[b]).cents_off) < 1e-3,
                    "a quantized block is a tone");
  // Iteration k of a grid starts on grain k.
  const int beats = 1 + data[0] % most_grain_beats;
  for (long k = 0; k < 8; ++k)
    fuzz::require(grain_at_beat(static_cast<double>(k) / beats, beats) == k, "grains on the grid");
  e.state = before;
  tuning_of(e) = {};
  return 0;
}
