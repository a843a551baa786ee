#include "engine/mapping.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/automaton.h"
#include "engine/compact_grid.h"
#include "engine/numeric.h"
#include "engine/mode_kernels.h"

float position_frequency(float position) {
  return static_cast<float>(std::exp(0.096 * static_cast<double>(position)));
}

int blocks_per_side(int noinstrm) {
  if (noinstrm < 1) return 0;
  return trunc_to_int(std::sqrt(static_cast<double>(noinstrm)));
}

namespace {

// The block geometry shared by both reductions.
struct block_layout {
  int n = 0;   // blocks per side
  int bx = 0;  // rows per block
  int by = 0;  // columns per block
};

block_layout layout_for(int noinstrm, int x, int y) {
  block_layout b;
  // The frequency array holds 100 blocks at most.
  b.n = blocks_per_side(noinstrm < max_instruments ? noinstrm : max_instruments);
  if (b.n > 0) {
    b.bx = clamp_extent(x) / b.n;
    b.by = clamp_extent(y) / b.n;
  }
  return b;
}

// e^(0.096 p) of every state's position, recomputed only when a position
// changes: the reductions look states up instead of calling exp per cell.
const std::array<float, max_states>& state_frequencies(const position_array& states) {
  static position_array positions{};
  static std::array<float, max_states> frequencies{};
  static bool valid = false;
  if (!valid || std::memcmp(positions.data(), states.data(), sizeof positions) != 0) {
    for (int s = 0; s < max_states; ++s) frequencies[s] = position_frequency(states[s]);
    positions = states;
    valid = true;
  }
  return frequencies;
}

// Adds one row's cells to G neighbouring blocks of `width` columns. Each
// block keeps its own order of additions; the G chains of additions run side
// by side instead of one after the other. A float addition rounds exactly as
// the double sum stored back as a float does.
template <int G>
void add_to_blocks(const std::int32_t* cells, int width,
                   const std::array<float, max_states>& frequency, float* sums) {
  std::array<float, G> s;
  for (int g = 0; g < G; ++g) s[g] = sums[g];
  for (int c = 0; c < width; ++c)
    for (int g = 0; g < G; ++g) s[g] += frequency[table_state(cells[g * width + c])];
  for (int g = 0; g < G; ++g) sums[g] = s[g];
}

void add_row_to_blocks(const std::int32_t* cells, int blocks, int width,
                       const std::array<float, max_states>& frequency, float* sums) {
  int b = 0;
  for (; blocks - b >= 4; b += 4) add_to_blocks<4>(cells + b * width, width, frequency, sums + b);
  switch (blocks - b) {
    case 3: add_to_blocks<3>(cells + b * width, width, frequency, sums + b); break;
    case 2: add_to_blocks<2>(cells + b * width, width, frequency, sums + b); break;
    case 1: add_to_blocks<1>(cells + b * width, width, frequency, sums + b); break;
    default: break;
  }
}

constexpr int max_blocks_per_side = 10;  // sqrt of max_instruments
std::array<std::int32_t, max_blocks_per_side * block_counter_stride> block_counts;

}  // namespace

int mode_of(const std::int32_t* counts) {
  int mode = 0;
  int best = 0;
  for (int s = 0; s < max_states; ++s) {
    if (counts[s] > best) {
      best = counts[s];
      mode = s;
    }
  }
  return mode;
}

void av_freq(const grid_type& grid, frequency_array& freq, const position_array& states,
             int noinstrm, int x, int y) {
  const std::array<float, max_states>& frequency = state_frequencies(states);
  if (const compact_grid* bytes = compact_view(grid, x, y)) {
    compact_av_freq(*bytes, freq, frequency, noinstrm);
    return;
  }
  const block_layout b = layout_for(noinstrm, x, y);
  const double cells = static_cast<double>(b.bx) * b.by;
  for (int bi = 0; bi < b.n; ++bi) {
    std::array<float, max_blocks_per_side> sums{};
    for (int r = bi * b.bx + 1; r <= bi * b.bx + b.bx; ++r)
      add_row_to_blocks(&grid[r][1], b.n, b.by, frequency, sums.data());
    // An empty block is silent rather than 0/0.
    for (int bj = 0; bj < b.n; ++bj)
      freq[bi * b.n + bj] = cells > 0 ? static_cast<float>(sums[bj] / cells) : 0.0f;
  }
}

void md_freq(const grid_type& grid, frequency_array& freq, const position_array& states,
             int noinstrm, int x, int y) {
  const std::array<float, max_states>& frequency = state_frequencies(states);
  if (const compact_grid* bytes = compact_view(grid, x, y)) {
    compact_md_freq(*bytes, freq, frequency, noinstrm);
    return;
  }
  const block_layout b = layout_for(noinstrm, x, y);
  const mode_kernel kernel = best_mode_kernel();
  for (int bi = 0; bi < b.n; ++bi) {
    std::fill_n(block_counts.begin(), b.n * block_counter_stride, 0);
    count_block_row(grid, bi * b.bx + 1, b.bx, b.n, b.by, block_counts.data(), kernel);
    for (int bj = 0; bj < b.n; ++bj)
      freq[bi * b.n + bj] = frequency[mode_of(&block_counts[bj * block_counter_stride])];
  }
}

namespace {

// "%f" of v, exactly as printf writes it. Plain non-negative values below
// 10^12 (every start, duration, amplitude and frequency a render produces)
// are rounded here from their exact binary value, ties to even as printf
// does; anything else goes to snprintf. `room` is at least max_fixed_text.
constexpr int max_fixed_text = 330;  // "-" + 309 digits + "." + 6 digits

char* put_fixed(char* out, std::size_t room, double v) {
  if (!(v >= 0.0) || std::signbit(v) || v >= 1e12)
    return out + std::snprintf(out, room, "%f", v);
  int exponent = 0;
  const double fraction = std::frexp(v, &exponent);  // v = fraction * 2^exponent
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
  const int shift = 53 - exponent;  // v = mantissa / 2^shift, shift > 13 here
  std::uint64_t micros = 0;         // v * 10^6, rounded
  if (shift < 128) {
    const unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * 1000000u;
    const unsigned __int128 quotient = scaled >> shift;
    const unsigned __int128 remainder = scaled - (quotient << shift);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
    const bool up = remainder > half || (remainder == half && (quotient & 1u) != 0);
    micros = static_cast<std::uint64_t>(quotient) + (up ? 1u : 0u);
  }
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

}  // namespace

void writesound(std::FILE* fp, const frequency_array& freq,
                const std::array<float, max_instruments>& instrm, int count,
                int iteration, float dur) {
  write_notes(fp, freq, instrm, count, static_cast<double>(iteration) * static_cast<double>(dur),
              dur);
}

void write_notes(std::FILE* fp, const frequency_array& freq,
                 const std::array<float, max_instruments>& instrm, int count, double start,
                 float dur) {
  if (count > max_instruments) count = max_instruments;
  // Start and duration are the same on every line of the iteration: their
  // text is made once.
  std::array<char, 2 * max_fixed_text + 3> timing;
  char* timing_end = timing.data();
  *timing_end++ = ' ';
  timing_end = put_fixed(timing_end, max_fixed_text, start);
  *timing_end++ = ' ';
  timing_end = put_fixed(timing_end, max_fixed_text, static_cast<double>(dur));
  *timing_end++ = ' ';
  const auto timing_length = static_cast<std::size_t>(timing_end - timing.data());

  // The lines are formatted into a fixed buffer and written in few calls;
  // the text is what "i%d %f %f %f %f\n" gives.
  std::array<char, 16384> text;
  char* out = text.data();
  const auto room = [&] { return static_cast<std::size_t>(text.data() + text.size() - out); };
  for (int i = 0; i < count; ++i) {
    if (room() < max_note_text) {
      std::fwrite(text.data(), 1, static_cast<std::size_t>(out - text.data()), fp);
      out = text.data();
    }
    *out++ = 'i';
    out = put_int(out, i + 1);
    out = std::copy_n(timing.data(), timing_length, out);
    out = put_fixed(out, room(), 10.0 * static_cast<double>(instrm[i]));
    *out++ = ' ';
    out = put_fixed(out, room(), static_cast<double>(freq[i]));
    *out++ = '\n';
  }
  std::fwrite(text.data(), 1, static_cast<std::size_t>(out - text.data()), fp);
}
