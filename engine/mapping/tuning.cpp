#include "engine/mapping/tuning.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "engine/engine.h"

namespace {

constexpr double cents_per_octave = 1200.0;
constexpr int reference_a4_key = 69;
constexpr double a4_hz = 440.0;

// The whole number of times `d` goes into `n`, rounded down (-1 / 12 is -1).
long floor_div(long n, long d) { return n / d - ((n % d != 0) && ((n < 0) != (d < 0)) ? 1 : 0); }

std::vector<scale_tones::tone> rising_tones(const scala_scale& scale) {
  const double period = scale.cents.back();
  std::vector<scale_tones::tone> rising;
  for (int j = 0; j < static_cast<int>(scale.cents.size()); ++j) {
    const double cents = j == 0 ? 0.0 : scale.cents[static_cast<std::size_t>(j - 1)];
    const double periods = std::floor(cents / period);
    rising.push_back({cents - periods * period, j, static_cast<int>(periods)});
  }
  std::sort(rising.begin(), rising.end(),
            [](const auto& a, const auto& b) { return a.cents < b.cents; });
  return rising;
}

}  // namespace

std::optional<long> key_degree(const keyboard_map& map, int notes, long key) {
  const std::optional<int> entry = map_entry(map, key);
  if (!entry || map.size == 0) return entry;
  const long octave = map.octave_degree > 0 ? map.octave_degree : notes;
  return floor_div(key - map.middle_note, map.size) * octave + *entry;
}

double degree_cents(const scala_scale& scale, long degree) {
  const long n = static_cast<long>(scale.cents.size());
  const long periods = floor_div(degree, n);
  const long step = degree - periods * n;
  return static_cast<double>(periods) * scale.cents.back() +
         (step == 0 ? 0.0 : scale.cents[static_cast<std::size_t>(step - 1)]);
}

double cents_hz(const scale_tones& tones, double cents) {
  return tones.map.reference_hz * std::exp2((cents - tones.reference_cents) / cents_per_octave);
}

std::shared_ptr<const scale_tones> place_scale(const scala_scale& scale, const keyboard_map& map) {
  auto tones = std::make_shared<scale_tones>();
  tones->scale = scale;
  tones->map = map;
  tones->rising = rising_tones(scale);
  const long reference = key_degree(map, tones->notes(), map.reference_note).value_or(0);
  tones->reference_cents = degree_cents(scale, reference);
  tones->degree0_octaves = std::log2(map.reference_hz) - tones->reference_cents / cents_per_octave;
  return tones;
}

const scale_tones& equal_tempered_tones() {
  static const std::shared_ptr<const scale_tones> twelve = [] {
    keyboard_map a4;
    a4.reference_note = reference_a4_key;
    a4.reference_hz = a4_hz;
    return place_scale(equal_tempered_scale(), a4);
  }();
  return *twelve;
}

nearest_tone nearest_tone_of(const scale_tones& tones, double hz) {
  if (!std::isfinite(hz) || !(hz > 0.0)) return {0, hz, 0.0};  // no pitch to snap
  const double period = tones.period();
  const double cents = cents_per_octave * (std::log2(hz) - tones.degree0_octaves);
  const double periods = std::floor(cents / period);
  const double within = cents - periods * period;
  // The neighbours in this period, and across its ends the first tone of
  // the next and the last of the one before.
  const auto& rising = tones.rising;
  const auto above = std::lower_bound(rising.begin(), rising.end(), within,
                                      [](const auto& t, double c) { return t.cents < c; });
  struct candidate {
    const scale_tones::tone* tone;
    int shift;  // periods added
  };
  std::array<candidate, 4> candidates{{{&rising.front(), 1}, {&rising.back(), -1}}};
  std::size_t count = 2;
  if (above != rising.end()) candidates[count++] = {&*above, 0};
  if (above != rising.begin()) candidates[count++] = {&*(above - 1), 0};
  const candidate* best = nullptr;
  double best_distance = 0.0;
  double best_cents = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    const double at = candidates[i].tone->cents + candidates[i].shift * period;
    const double distance = std::abs(within - at);
    if (!best || distance < best_distance || (distance == best_distance && at < best_cents)) {
      best = &candidates[i];
      best_distance = distance;
      best_cents = at;
    }
  }
  const long whole = static_cast<long>(periods) + best->shift - best->tone->periods;
  nearest_tone found;
  found.degree = whole * tones.notes() + best->tone->degree;
  found.hz = cents_hz(tones, degree_cents(tones.scale, found.degree));
  found.cents_off = within - best_cents;
  return found;
}

std::string note_name(const scale_tones* tones, double hz) {
  static constexpr std::array<const char*, 12> letters{"C",  "C#", "D",  "D#", "E",  "F",
                                                       "F#", "G",  "G#", "A",  "A#", "B"};
  const nearest_tone tone = nearest_tone_of(tones ? *tones : equal_tempered_tones(), hz);
  // -0.0 would read as a flat tone.
  const double off = std::round(tone.cents_off * 10.0) / 10.0 + 0.0;
  std::array<char, 64> text{};
  if (tones) {
    std::snprintf(text.data(), text.size(), "degree %ld %+.1f cents", tone.degree, off);
  } else {
    // Degree 0 is middle C, C4.
    const long octave = floor_div(tone.degree, 12);
    std::snprintf(text.data(), text.size(), "%s%ld %+.1f cents",
                  letters[static_cast<std::size_t>(tone.degree - octave * 12)], octave + 4, off);
  }
  return text.data();
}

tuning& tuning_of(engine& e) {
  if (!e.tune) e.tune = std::make_shared<tuning>();
  return *e.tune;
}

void quantize_blocks(const engine& e, frequency_array& freq, int count) {
  const tuning* t = e.tune.get();
  if (!t || !t->quantize) return;
  const scale_tones& tones = t->quantize_tones();
  const int n = std::clamp(count, 0, max_instruments);
  for (int i = 0; i < n; ++i)
    if (freq[i] > 0.0f) freq[i] = static_cast<float>(nearest_tone_of(tones, freq[i]).hz);
}

double iteration_duration(const engine& e, float dur) {
  const tuning* t = e.tune.get();
  return t ? grain_duration(t->beats, dur) : static_cast<double>(dur);
}
