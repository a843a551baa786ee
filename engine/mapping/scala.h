// The two text formats of the Scala tuning tools, parsed from text: a scale
// (.scl) and a keyboard mapping (.kbm). Lines starting with '!' are
// comments in both; anything after a value on its line is ignored. A
// refusal names the line it is about, counted from 1.
//
// A scale: a description line (possibly empty), the number of notes, then
// one pitch a line, each either cents (a number with a '.') or a ratio
// (a/b, or a whole number a for a/1). Degree 0 (1/1) is implied and not
// listed; the last pitch is the period the scale repeats by.
//
// A mapping: map size, first and last note retuned, middle note (where the
// first mapping entry lies), reference note and its frequency, the degree
// that counts as the formal octave, then up to `size` entries, each a
// degree or 'x' for an unmapped key (entries left out at the end are
// unmapped). Size 0 maps key k to degree k - middle.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/types.h"

struct scala_scale {
  std::string description;
  std::vector<double> cents;  // degrees 1..n; the last is the period
};

// The mapping that applies when none is loaded: every key a degree, degree
// 0 on key 60 at middle C of 12-tone equal temperament at A = 440 Hz.
constexpr double middle_c_hz = 261.625565;

struct keyboard_map {
  int size = 0;
  int first_note = 0;
  int last_note = 60 + max_states - 1;  // a key for every state
  int middle_note = 60;
  int reference_note = 60;
  double reference_hz = middle_c_hz;
  int octave_degree = 0;       // 0: the scale's note count
  std::vector<int> mapping;    // entries given; unmapped_key for 'x'
};
constexpr int unmapped_key = -2147483647 - 1;

struct tuning_error {
  int line = 0;
  std::string what;
};

// A scale or the error that refuses it.
bool parse_scala_scale(std::string_view text, scala_scale& scale, tuning_error& error);
bool parse_keyboard_map(std::string_view text, keyboard_map& map, tuning_error& error);

// The entry of key `key` (for size 0, the key's distance from the middle
// note), nothing when it is unmapped.
std::optional<int> map_entry(const keyboard_map& map, long key);

// 12-tone equal temperament, 100 cents a step.
const scala_scale& equal_tempered_scale();

// A scale file, a mapping file, or both, as read; what a load hands over.
struct tuning_source {
  std::optional<scala_scale> scale;
  std::optional<keyboard_map> map;
};
