#include "engine/mapping/note_lines.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

// "%f" of v, exactly as printf writes it. Plain non-negative values below
// 10^12 (every start, duration, amplitude and frequency a render produces)
// are rounded here from their exact binary value, ties to even as printf
// does; anything else goes to snprintf. `room` is at least max_fixed_text.
constexpr int max_fixed_text = 330;  // "-" + 309 digits + "." + 6 digits

// Plain values: non-negative and below 10^12.
bool plain(double v) { return v >= 0.0 && !std::signbit(v) && v < 1e12; }

// v * 10^6 of a plain value, rounded from its exact binary value.
std::uint64_t micros_of(double v) {
  int exponent = 0;
  const double fraction = std::frexp(v, &exponent);  // v = fraction * 2^exponent
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
  const int shift = 53 - exponent;  // v = mantissa / 2^shift, shift > 13 here
  if (shift >= 128) return 0;
  const unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * 1000000u;
  const unsigned __int128 quotient = scaled >> shift;
  const unsigned __int128 remainder = scaled - (quotient << shift);
  const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
  const bool up = remainder > half || (remainder == half && (quotient & 1u) != 0);
  return static_cast<std::uint64_t>(quotient) + (up ? 1u : 0u);
}

char* put_fixed(char* out, std::size_t room, double v) {
  if (!plain(v)) return out + std::snprintf(out, room, "%f", v);
  const std::uint64_t micros = micros_of(v);
  std::uint64_t whole = micros / 1000000u;
  std::uint64_t fraction_digits = micros % 1000000u;
  std::array<char, 20> digits;
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + whole % 10u);
    whole /= 10u;
  } while (whole != 0);
  while (count > 0) *out++ = digits[--count];
  *out++ = '.';
  for (int d = 5; d >= 0; --d) {
    out[d] = static_cast<char>('0' + fraction_digits % 10u);
    fraction_digits /= 10u;
  }
  return out + 6;
}

char* put_int(char* out, int v) {
  std::array<char, 12> digits;
  int count = 0;
  unsigned magnitude = v < 0 ? 0u - static_cast<unsigned>(v) : static_cast<unsigned>(v);
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10u);
    magnitude /= 10u;
  } while (magnitude != 0);
  if (v < 0) *out++ = '-';
  while (count > 0) *out++ = digits[--count];
  return out;
}

constexpr int max_note_text = 5 + 4 * (max_fixed_text + 1) + 1;

// "%f" of v read back. Below 9 * 10^9 a plain value's micros lie below
// 2^53, so their quotient by 10^6 is the double nearest the text, as a
// reader finds it.
double as_written(double v) {
  if (plain(v) && v < 9e9) return static_cast<double>(micros_of(v)) / 1e6;
  std::array<char, max_fixed_text + 1> text{};
  std::snprintf(text.data(), text.size(), "%f", v);
  return std::strtod(text.data(), nullptr);
}

}  // namespace

note note_as_written(const note& n) {
  return {n.instrument, as_written(n.start), as_written(n.duration), as_written(n.amplitude),
          as_written(n.frequency)};
}


void write_note_lines(std::FILE* fp, std::span<const note> notes) {
  // Start and duration are the same on every line of an iteration: their
  // text is made once for each pair.
  std::array<char, 2 * max_fixed_text + 3> timing;
  std::size_t timing_length = 0;
  double timing_start = 0.0;
  double timing_duration = 0.0;

  // The lines are formatted into a fixed buffer and written in few calls.
  std::array<char, 16384> text;
  char* out = text.data();
  const auto room = [&] { return static_cast<std::size_t>(text.data() + text.size() - out); };
  for (const note& n : notes) {
    if (timing_length == 0 || n.start != timing_start || n.duration != timing_duration) {
      char* end = timing.data();
      *end++ = ' ';
      end = put_fixed(end, max_fixed_text, n.start);
      *end++ = ' ';
      end = put_fixed(end, max_fixed_text, n.duration);
      *end++ = ' ';
      timing_length = static_cast<std::size_t>(end - timing.data());
      timing_start = n.start;
      timing_duration = n.duration;
    }
    if (room() < max_note_text) {
      std::fwrite(text.data(), 1, static_cast<std::size_t>(out - text.data()), fp);
      out = text.data();
    }
    *out++ = 'i';
    out = put_int(out, n.instrument);
    out = std::copy_n(timing.data(), timing_length, out);
    out = put_fixed(out, room(), n.amplitude);
    *out++ = ' ';
    out = put_fixed(out, room(), n.frequency);
    *out++ = '\n';
  }
  std::fwrite(text.data(), 1, static_cast<std::size_t>(out - text.data()), fp);
}
