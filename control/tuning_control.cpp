#include "control/tuning_control.h"

#include "control/control_log.h"
#include "control/osc_args.h"
#include "engine/engine.h"
#include "engine/mapping/retune.h"
#include "engine/mapping/tuning.h"
#include "files/tuning_file.h"

namespace {

control_queue& inbox_of(void* data) { return *static_cast<control_queue*>(data); }

int on_scale(const char* path, const char*, lo_arg** argv, int, lo_message, void* data) {
  control_change change{control_kind::scale, 0, 0.0, osc_string(argv[0])};
  auto source = std::make_shared<tuning_source>();
  std::string error;
  if (!read_tuning_file(change.text, *source, error)) {
    control_log("OSC %s refused: %s", path, error.c_str());
    return 0;
  }
  change.tuning = std::move(source);
  inbox_of(data).push(std::move(change));
  return 0;
}

// Numbers as any OSC number type: liblo coerces them to the method's type.
int on_number(const char* path, const char* types, lo_arg** argv, int, lo_message, void* data) {
  const bool quantize = types[0] == 'i';
  const control_kind kind = quantize ? control_kind::quantize : control_kind::tempo;
  const double value = quantize ? osc_int(argv[0]) : osc_float(argv[0]);
  if (!control_value_ok(kind, value)) {
    control_log("OSC %s refused: %g is outside %s", path, value, control_range_text(kind).c_str());
    return 0;
  }
  inbox_of(data).push({kind, 0, value, ""});
  return 0;
}

void take_scale(const control_change& c, control_effects& effects) {
  retune_report report;
  if (!c.tuning || !retune_states(default_engine(), *c.tuning, report)) {
    control_log("scale %s refused: %s", c.text.c_str(), report.refused.c_str());
    return;
  }
  control_log("states tuned to %s", c.text.c_str());
  if (const std::string notes = retune_notes(report); !notes.empty())
    control_log("%s", notes.c_str());
  effects.frequencies = true;
}

void take_tempo(double bpm) {
  beat_grid& beats = tuning_of(default_engine()).beats;
  if (bpm > 0.0 && !beat_grid_fits(bpm, beats.grain_beats)) {
    control_log("tempo %g refused: with %d grains a beat a grain would last %g s, outside "
                "0.001 ... 10 s",
                bpm, beats.grain_beats, grain_seconds(bpm, beats.grain_beats));
    return;
  }
  beats.bpm = bpm;
}

}  // namespace

void add_tuning_methods(lo_server server, control_queue& inbox) {
  lo_server_add_method(server, "/zelmora/scale", "s", on_scale, &inbox);
  lo_server_add_method(server, "/zelmora/quantize", "i", on_number, &inbox);
  lo_server_add_method(server, "/zelmora/tempo", "f", on_number, &inbox);
}

void apply_tuning_control(const control_change& c, control_effects& effects) {
  switch (c.kind) {
    case control_kind::scale: take_scale(c, effects); break;
    case control_kind::quantize:
      tuning_of(default_engine()).quantize = c.value != 0.0;
      effects.panel = true;
      break;
    case control_kind::tempo: take_tempo(c.value); break;
    default: break;
  }
}
