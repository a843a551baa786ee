// The grain voices fed arbitrary notes as the plugin hands them over (starts
// never going back nor into the past): every sample they put out is a
// finite number, whatever the fields, and so is the time they must go on.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dsp/grain_voices.h"
#include "fuzz_support.h"

namespace {

constexpr std::size_t note_bytes = 1 + 4 * sizeof(double);
constexpr std::size_t period = 32;

double field(const std::uint8_t* at) {
  double value = 0.0;
  std::memcpy(&value, at, sizeof value);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  grain_voices voices(44100.0, static_cast<int>(period));
  std::vector<double> left(period), right(period);
  double last_start = 0.0;
  for (std::size_t at = 0; at + note_bytes <= size; at += note_bytes) {
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
    for (std::size_t i = 0; i < period; ++i)
      fuzz::require(std::isfinite(left[i]) && std::isfinite(right[i]), "finite samples");
    fuzz::require(voices.voices() >= 1 && std::isfinite(voices.keep_until()),
                  "a voice count and an end");
  }
  return 0;
}
