#include "engine/mapping/scala.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/limits.h"
#include "engine/mapping/scales.h"

namespace {

// The lines of a text, numbered from 1, comments skipped. A line ends at
// '\n'; a '\r' before it (a file from Windows) is dropped.
class line_reader {
 public:
  explicit line_reader(std::string_view text) : text_(text) {}

  // The next line that is no comment; blank ones too when `keep_blank`
  // (the description may be empty). False at the end of the text.
  bool next(std::string_view& line, bool keep_blank) {
    while (at_ < text_.size()) {
      std::size_t end = text_.find('\n', at_);
      if (end == std::string_view::npos) end = text_.size();
      line = text_.substr(at_, end - at_);
      at_ = end + 1;
      ++number_;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (!line.empty() && line.front() == '!') continue;
      if (!keep_blank && line.find_first_not_of(" \t") == std::string_view::npos) continue;
      return true;
    }
    ++number_;  // where a missing line would have been
    return false;
  }
  int number() const { return number_; }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  int number_ = 0;
};

// The first word of a line (blanks before it skipped), as a string that
// strtol and strtod can read to its end.
std::string first_word(std::string_view line) {
  const std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos) return "";
  const std::size_t end = line.find_first_of(" \t", start);
  return std::string(line.substr(start, end == std::string_view::npos ? end : end - start));
}

bool fail(tuning_error& error, int line, std::string what) {
  error = {line, std::move(what)};
  return false;
}

// A whole number at the start of `word`; what follows it is ignored.
bool read_int(const std::string& word, int& value) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(word.c_str(), &end, 10);
  if (end == word.c_str() || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

bool read_real(const std::string& word, double& value) {
  char* end = nullptr;
  value = std::strtod(word.c_str(), &end);
  return end != word.c_str() && std::isfinite(value);
}

// Digits only: no sign, no blank. ERANGE past 2^64 - 1.
bool read_count(const char*& s, double& value) {
  if (*s < '0' || *s > '9') return false;
  char* end = nullptr;
  errno = 0;
  value = static_cast<double>(std::strtoull(s, &end, 10));
  s = end;
  return errno != ERANGE;
}

// Beyond this a pitch is no tone (10^6 cents are 833 octaves), and the
// arithmetic on degrees stays far from overflow.
constexpr double farthest_cents = 1e6;
// A period any narrower repeats a scale more often than a file can mean.
constexpr double narrowest_period = 1.0;

constexpr const char* pitch_forms =
    "cents (a number with a '.'), a ratio a/b or a whole number";

// One pitch line: cents when the value has a '.', else a positive ratio.
bool read_pitch(const std::string& word, int line, double& cents, tuning_error& error) {
  if (word.find('.') != std::string::npos) {
    if (!read_real(word, cents)) return fail(error, line, std::string("no pitch: ") + pitch_forms);
    if (std::abs(cents) > farthest_cents)
      return fail(error, line, "no pitch lies more than 1000000 cents from 1/1");
    return true;
  }
  const char* s = word.c_str();
  double numerator = 0.0;
  double denominator = 1.0;
  if (!read_count(s, numerator) || (*s == '/' && !read_count(++s, denominator)))
    return fail(error, line,
                std::string("no pitch") + (word.starts_with('-') ? " (a ratio is never negative)" : "") +
                    ": " + pitch_forms);
  if (numerator == 0.0 || denominator == 0.0)
    return fail(error, line, "a ratio with 0 in it is no pitch");
  cents = 1200.0 * std::log2(numerator / denominator);
  return true;
}

bool read_header_int(line_reader& lines, const char* what, int& value, tuning_error& error) {
  std::string_view line;
  if (!lines.next(line, false))
    return fail(error, lines.number(), std::string("the file ends before ") + what);
  if (!read_int(first_word(line), value))
    return fail(error, lines.number(), std::string("no whole number for ") + what);
  return true;
}

bool in_keys(int note, int line, const char* what, tuning_error& error) {
  if (note >= 0 && note <= 127) return true;
  return fail(error, line, std::string(what) + " must be a key from 0 to 127");
}

// The mapping entries: up to `size` lines, each a degree or 'x'.
bool read_mapping(line_reader& lines, keyboard_map& map, tuning_error& error) {
  std::string_view line;
  while (static_cast<int>(map.mapping.size()) < map.size && lines.next(line, false)) {
    const std::string word = first_word(line);
    int degree = 0;
    if (word == "x" || word == "X")
      degree = unmapped_key;
    else if (!read_int(word, degree))
      return fail(error, lines.number(), "no mapping entry: a scale degree or x (unmapped)");
    map.mapping.push_back(degree);
  }
  return true;
}

}  // namespace

bool parse_scala_scale(std::string_view text, scala_scale& scale, tuning_error& error) {
  line_reader lines(text);
  std::string_view line;
  scala_scale parsed;
  if (!lines.next(line, true)) return fail(error, lines.number(), "the file ends before the description");
  parsed.description = std::string(line);
  int count = 0;
  if (!read_header_int(lines, "the number of notes", count, error)) return false;
  const int count_line = lines.number();
  if (count < 1)
    return fail(error, count_line, "a scale needs at least one note, its period (the last)");
  while (static_cast<int>(parsed.cents.size()) < count) {
    if (!lines.next(line, false))
      return fail(error, lines.number(),
                  "the file ends after " + std::to_string(parsed.cents.size()) + " of the " +
                      std::to_string(count) + " notes line " + std::to_string(count_line) +
                      " announces");
    double cents = 0.0;
    if (!read_pitch(first_word(line), lines.number(), cents, error)) return false;
    parsed.cents.push_back(cents);
  }
  if (!(parsed.cents.back() >= narrowest_period))
    return fail(error, lines.number(),
                "the period (the last note) must be at least 1 cent above 1/1: the scale "
                "repeats by it");
  scale = std::move(parsed);
  return true;
}

bool parse_keyboard_map(std::string_view text, keyboard_map& map, tuning_error& error) {
  line_reader lines(text);
  keyboard_map parsed;
  if (!read_header_int(lines, "the map size", parsed.size, error)) return false;
  if (parsed.size < 0) return fail(error, lines.number(), "the map size cannot be negative");
  if (!read_header_int(lines, "the first note", parsed.first_note, error) ||
      !in_keys(parsed.first_note, lines.number(), "the first note", error) ||
      !read_header_int(lines, "the last note", parsed.last_note, error) ||
      !in_keys(parsed.last_note, lines.number(), "the last note", error))
    return false;
  if (parsed.last_note < parsed.first_note)
    return fail(error, lines.number(), "the last note lies below the first");
  if (!read_header_int(lines, "the middle note", parsed.middle_note, error) ||
      !in_keys(parsed.middle_note, lines.number(), "the middle note", error) ||
      !read_header_int(lines, "the reference note", parsed.reference_note, error) ||
      !in_keys(parsed.reference_note, lines.number(), "the reference note", error))
    return false;
  const int reference_line = lines.number();
  std::string_view line;
  if (!lines.next(line, false))
    return fail(error, lines.number(), "the file ends before the reference frequency");
  const double lowest = position_hertz(state_limits.lowest);
  const double highest = position_hertz(state_limits.highest);
  if (!read_real(first_word(line), parsed.reference_hz) || parsed.reference_hz < lowest ||
      parsed.reference_hz > highest) {
    std::array<char, 96> range{};
    std::snprintf(range.data(), range.size(), "from %.3f to %.2f Hz", lowest, highest);
    return fail(error, lines.number(),
                std::string("the reference frequency must be a number ") + range.data());
  }
  if (!read_header_int(lines, "the formal octave's degree", parsed.octave_degree, error))
    return false;
  if (parsed.octave_degree < 0)
    return fail(error, lines.number(), "the formal octave's degree cannot be negative");
  if (!read_mapping(lines, parsed, error)) return false;
  if (!map_entry(parsed, parsed.reference_note))
    return fail(error, reference_line, "the reference note lies on an unmapped key");
  map = std::move(parsed);
  return true;
}

std::optional<int> map_entry(const keyboard_map& map, long key) {
  const long offset = key - map.middle_note;
  if (map.size == 0) return static_cast<int>(offset);
  const long index = ((offset % map.size) + map.size) % map.size;
  if (index >= static_cast<long>(map.mapping.size())) return std::nullopt;
  const int entry = map.mapping[static_cast<std::size_t>(index)];
  if (entry == unmapped_key) return std::nullopt;
  return entry;
}

const scala_scale& equal_tempered_scale() {
  static const scala_scale twelve{"12-tone equal temperament",
                                  {100.0, 200.0, 300.0, 400.0, 500.0, 600.0, 700.0, 800.0, 900.0,
                                   1000.0, 1100.0, 1200.0}};
  return twelve;
}
