// How a grain sounds, beyond the score's notes: its wave, its window, how
// many of a voice's grains sound at once, their random variation, the
// stereo width and the reverb. The defaults are the voices as they always
// were, and a set that keeps them says nothing of them: its files, scores
// and command lines stay as they were.
//
// As text, "key=value" items: in a parameter file one a line, on csound's
// command line and in the opcode's argument separated by commas
// ("wave=saw,overlap=4").
#pragma once

#include <optional>
#include <string>
#include <string_view>

enum class grain_wave { table, sine, triangle, saw, square };
enum class grain_window { chain, gauss, tukey, expodec, rexpodec };

struct grain_design {
  static constexpr int max_overlap = 8;

  // The score's table 1 (a sine in every score the programs write).
  grain_wave wave = grain_wave::table;
  // The cross-fading sin^2 chain, or separate grains of that shape.
  grain_window window = grain_window::chain;
  int overlap = 1;      // separate grains of a voice sounding at once, 1 ... 8
  double jitter = 0;    // 0 ... 1: random onset, pitch, level and pan
  double width = 1;     // 0 ... 1: the block columns' stereo spread; 0 mono
  double space = 0;     // 0 ... 1: the reverb send
  bool limiter = true;

  bool operator==(const grain_design&) const = default;
};

// The keys, in the order they are written.
constexpr const char* grain_keys[] = {"wave", "window", "overlap", "jitter",
                                      "width", "space", "limiter"};
constexpr int grain_key_count = 7;

// Sets `key` from `value` text; false (the design unchanged) for an
// unknown key or a value it does not take.
bool set_grain_key(grain_design& d, std::string_view key, std::string_view value);
// "key=value" with one of the keys: nothing when the key is not one of
// them; false when it is but its value is refused.
std::optional<bool> set_grain_item(grain_design& d, std::string_view item);
// The value of `key` as text ("saw", "4", "0.250000").
std::string grain_value(const grain_design& d, std::string_view key);
// The items that differ from the defaults, joined by `separator`.
std::string grain_text(const grain_design& d, char separator);
// Reads the comma-separated items; false at the first it refuses.
bool read_grain_text(grain_design& d, std::string_view text);

// A number key (overlap, jitter, width, space) set from a number, clamped
// to its range; the choices (wave, window, limiter) from their index.
bool set_grain_number(grain_design& d, std::string_view key, double value);
// Whether `value` lies in the key's range (a whole index of a choice, a
// whole overlap, a 0 ... 1 number): what a set from outside may ask.
bool grain_number_ok(std::string_view key, double value);
// The key's number, or the index of its choice.
double grain_number(const grain_design& d, std::string_view key);
// The choices a key offers ("sine", ...), empty for a number key.
const char* const* grain_choices(std::string_view key, int& count);
