// What an engine plays in tune and in time with, beside its parameter set:
// the scale loaded last (its tones, anchored by a keyboard mapping),
// whether each block's frequency snaps to the nearest tone, and a beat
// grid for the grain duration. Every engine holds its own (engine.h's
// `tune`, made on first use), so two engines, or two plugin instances,
// play in tunings of their own. The render only reads it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/mapping/beat_grid.h"
#include "engine/mapping/mapping.h"
#include "engine/mapping/scala.h"

struct engine;

// A scale placed at a pitch. Degree d counts scale steps from degree 0 up
// through the periods (negative below it); its frequency is the reference
// frequency moved by the cents from the reference key's degree to d. Taken
// from the reference rather than from degree 0, whose frequency a far
// mapping can put beyond any double.
struct scale_tones {
  scala_scale scale;
  keyboard_map map;
  double reference_cents = 0.0;  // of the reference key's degree
  double degree0_octaves = 0.0;  // log2 of degree 0's frequency
  // Each degree of one period, its cents brought into [0, period) by
  // `periods` whole periods, in rising order: the nearest tone is a binary
  // search away.
  struct tone {
    double cents;
    int degree;
    int periods;
  };
  std::vector<tone> rising;

  int notes() const { return static_cast<int>(scale.cents.size()); }
  double period() const { return scale.cents.back(); }
};

// The scale placed by the map: the reference note's degree sounds at the
// reference frequency.
std::shared_ptr<const scale_tones> place_scale(const scala_scale& scale, const keyboard_map& map);
// 12-tone equal temperament at A = 440 Hz: what quantizing and note names
// use while no scale is loaded.
const scale_tones& equal_tempered_tones();

// The degree key `key` plays under the map, with `notes` notes a period;
// nothing when it is unmapped.
std::optional<long> key_degree(const keyboard_map& map, int notes, long key);

// Cents of degree d above degree 0.
double degree_cents(const scala_scale& scale, long degree);
// The frequency of a pitch `cents` above degree 0 (of degree d: its
// degree_cents).
double cents_hz(const scale_tones& tones, double cents);

struct nearest_tone {
  long degree = 0;
  double hz = 0.0;
  double cents_off = 0.0;  // of the frequency asked about, from the tone
};
// The tone nearest to `hz` in pitch; of two equally near, the lower. A
// frequency of 0 or less is no pitch and comes back as it is.
nearest_tone nearest_tone_of(const scale_tones& tones, double hz);

// "A4 +0.0 cents" in 12-tone equal temperament at A = 440 Hz when `tones`
// is null, "degree 7 -1.9 cents" (counted from the scale's degree 0)
// otherwise.
std::string note_name(const scale_tones* tones, double hz);

struct tuning {
  std::shared_ptr<const scale_tones> tones;  // null: no scale loaded
  bool quantize = false;
  beat_grid beats;

  // What quantizing snaps to.
  const scale_tones& quantize_tones() const { return tones ? *tones : equal_tempered_tones(); }
};

// The engine's tuning, made when first asked for.
tuning& tuning_of(engine& e);

// The render's hooks. Without a tuning, or with quantizing off, the first
// leaves the frequencies untouched; the second is the set's own dur unless
// a beat grid is on.
void quantize_blocks(const engine& e, frequency_array& freq, int count);
double iteration_duration(const engine& e, float dur);
