// The grain voices fed arbitrary notes as the plugin hands them over (starts
// never going back nor into the past), in a design and with a table 1 of
// the input's first bytes, and the Master after them: every sample they put
// out is a finite number, whatever the fields, and so is the time they must
// go on.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dsp/grain_voices.h"
#include "dsp/master.h"
#include "fuzz_support.h"

namespace {

constexpr std::size_t note_bytes = 1 + 4 * sizeof(double);
constexpr std::size_t period = 32;
constexpr std::size_t design_bytes = grain_key_count + 2;  // the table's length, the rounding

// Every key from a byte: an index of a choice, a whole overlap, a share.
grain_design design_of(const std::uint8_t* bytes) {
  grain_design d;
  for (int k = 0; k < grain_key_count; ++k) {
    const std::string_view key = grain_keys[k];
    int choices = 0;
    double value = bytes[k] / 255.0;
    if (grain_choices(key, choices)) value = bytes[k] % choices;
    if (key == "overlap") value = 1 + bytes[k] % grain_design::max_overlap;
    fuzz::require(grain_number_ok(key, value) && set_grain_number(d, key, value), "a key's value");
  }
  return d;
}

double field(const std::uint8_t* at) {
  double value = 0.0;
  std::memcpy(&value, at, sizeof value);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < design_bytes) return 0;
  grain_voices voices(44100.0, static_cast<int>(period));
  grain_master master(44100.0, static_cast<int>(period));
  voices.set_design(design_of(data));
  master.set_design(voices.design());
  // 16-bit samples: dithered, or truncated after half a step.
  const double lsb = 1.0 / 32768.0;
  master.set_dither(data[grain_key_count + 1] & 1 ? lsb : 0.0);
  master.set_offset(data[grain_key_count + 1] & 2 ? lsb / 2 : 0.0);
  std::vector<double> table(data[grain_key_count] % 17);
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = (data[i % size] - 128) / 64.0;
  voices.set_score_table(table.data(), table.size());
  std::vector<double> left(period), right(period);
  double last_start = 0.0;
  for (std::size_t at = design_bytes; at + note_bytes <= size; at += note_bytes) {
    note n;
    n.instrument = data[at] % 102;  // 0 and 101: none of the voices'
    n.start = std::max(last_start, std::max(voices.now(), field(data + at + 1)));
    n.duration = field(data + at + 9);
    n.amplitude = field(data + at + 17);
    n.frequency = field(data + at + 25);
    if (!std::isfinite(n.start) || n.start > voices.now() + 1.0) n.start = last_start;
    // No score reader or live play gives a number beyond these.
    if (std::fabs(n.duration) > 1e9 || std::fabs(n.amplitude) > 1e9 || std::fabs(n.frequency) > 1e9)
      continue;
    last_start = n.start;
    voices.add(n);
    std::fill(left.begin(), left.end(), 0.0);
    std::fill(right.begin(), right.end(), 0.0);
    voices.render(left.data(), right.data(), period);
    master.process(left.data(), right.data(), voices.sounding());
    for (std::size_t i = 0; i < period; ++i)
      fuzz::require(std::isfinite(left[i]) && std::isfinite(right[i]), "finite samples");
    fuzz::require(voices.voices() >= 1 && std::isfinite(voices.keep_until()),
                  "a voice count and an end");
  }
  return 0;
}
