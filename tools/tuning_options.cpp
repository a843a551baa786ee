#include "tools/tuning_options.h"

#include <cstdio>

#include "engine/engine.h"
#include "engine/externs.h"
#include "engine/mapping/retune.h"
#include "engine/mapping/tuning.h"
#include "files/tuning_file.h"

namespace {

bool retune(const tuning_options& options) {
  tuning_source source;
  std::string error;
  if ((!options.scale.empty() && !read_scale_file(options.scale, source.scale.emplace(), error)) ||
      (!options.kbm.empty() && !read_map_file(options.kbm, source.map.emplace(), error))) {
    std::fprintf(stderr, "zelmora-render: %s\n", error.c_str());
    return false;
  }
  retune_report report;
  if (!retune_states(default_engine(), source, report)) {
    std::fprintf(stderr, "zelmora-render: scale refused: %s\n", report.refused.c_str());
    return false;
  }
  if (const std::string notes = retune_notes(report); !notes.empty())
    std::fprintf(stderr, "zelmora-render: %s\n", notes.c_str());
  return true;
}

}  // namespace

int tempo_grain_beats(const tuning_options& options) {
  return options.grain_beats != 0 ? options.grain_beats : default_grain_beats;
}

bool apply_tuning_options(const tuning_options& options) {
  if ((!options.scale.empty() || !options.kbm.empty()) && !retune(options)) return false;
  tuning& t = tuning_of(default_engine());
  t.quantize = options.quantize;
  if (options.tempo > 0.0) {
    t.beats = {options.tempo, tempo_grain_beats(options)};
    std::fprintf(Echo_Stream,
                 "tempo %g, %d grains a beat: every grain lasts %f s, in place of the set's "
                 "dur and its events' changes of dur\n",
                 options.tempo, t.beats.grain_beats, grain_seconds(t.beats.bpm, t.beats.grain_beats));
  }
  return true;
}
