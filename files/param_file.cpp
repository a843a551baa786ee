#include "files/param_file.h"

#include <array>
#include <cmath>
#include <optional>
#include <string_view>

#include "engine/externs.h"
#include "engine/limits.h"
#include "engine/report.h"
#include "files/scan.h"
#include "engine/mapping/scales.h"

int Readline(std::string& buf, std::FILE* fp, int maxLen) {
  buf.clear();
  const std::size_t keep = maxLen < 0 ? 0 : static_cast<std::size_t>(maxLen);
  int c = 0;
  bool any = false;
  bool kept_last = false;
  while ((c = std::getc(fp)) != EOF && c != '\n') {
    any = true;
    kept_last = buf.size() < keep;
    if (kept_last) buf.push_back(static_cast<char>(c));
  }
  // A last line without its newline is still a line.
  if (c == EOF && !any) return -2;
  // Files from other systems end their lines with CR LF.
  if (kept_last && buf.back() == '\r') buf.pop_back();
  return static_cast<int>(buf.size());
}

namespace {

thread_local int echo_silences = 0;

ssize_t discard(void*, const char*, std::size_t size) { return static_cast<ssize_t>(size); }

}  // namespace

echo_silenced::echo_silenced() { ++echo_silences; }
echo_silenced::~echo_silenced() { --echo_silences; }

std::FILE* echo_stream() {
  if (echo_silences == 0) return Echo_Stream;
  // A stream of no file: it needs no descriptor, which may be scarce.
  static std::FILE* const nowhere = ::fopencookie(nullptr, "w", {nullptr, discard, nullptr, nullptr});
  return nowhere ? nowhere : Echo_Stream;
}

namespace {

// Every line of a set but its "end".
void write_parameter_lines(std::FILE* fp, const parameters_type& p) {
  std::fputs("Chug\n", echo_stream());
  std::fprintf(fp, "r1=%f\nr2=%f\nk=%f\nNs=%d\nx=%d\ny=%d\ndur=%f\nnoinstrm=%d\n",
               static_cast<double>(p.r1), static_cast<double>(p.r2), static_cast<double>(p.k),
               p.Ns, p.x, p.y, static_cast<double>(p.dur), p.noinstrm);
  for (int i = 0; i < p.Ns && i < max_states; ++i)
    std::fprintf(fp, "s%d=%f\n", i, position_hertz(p.states[i]));
  for (int i = 0; i < p.noinstrm && i < max_instruments; ++i)
    std::fprintf(fp, "i%d=%f\n", i, position_amplitude(p.instrm[i]));
}

// The reduction a parameter file's "reduce=" line named, while one is read.
thread_local int reduction_read = 0;

// ---- The grain design's lines: not part of the set (event list blocks
// never carry them); written only when they differ from the defaults, so
// that every set saved before reads and writes byte for byte as it did.

grain_design grain_read;  // what a parameter file's grain lines said, while one is read

void write_grain_lines(std::FILE* fp, const grain_design& grain) {
  const std::string lines = grain_text(grain, '\n');
  if (!lines.empty()) std::fprintf(fp, "%s\n", lines.c_str());
}

// A line with a grain key: taken, refused for a value the key does not
// take, or nothing when the key is none of them.
std::optional<bool> take_grain_line(const std::string& text) {
  return set_grain_item(grain_read, text);
}

// ---- end of the grain design's lines

}  // namespace

int write_parameters(std::FILE* fp, const parameters_type& p) {
  write_parameter_lines(fp, p);
  std::fputs("end\n", fp);
  return 0;
}

int write_parameter_file(std::FILE* fp, const parameters_type& p, int mean_mode,
                         const grain_design& grain) {
  write_parameter_lines(fp, p);
  // Only when it is not the default, so sets in the mean read as before.
  if (mean_mode != 0) std::fputs("reduce=mode\n", fp);
  write_grain_lines(fp, grain);
  std::fputs("end\n", fp);
  return 0;
}

int read_parameter_file(std::FILE* fp, parameters_type& p, int& mean_mode, grain_design* grain) {
  reduction_read = 0;
  grain_read = {};
  const int status = read_parameters(fp, p);
  if (status == 0) {
    mean_mode = reduction_read;
    if (grain) *grain = grain_read;
  }
  return status;
}

namespace {

enum class line_kind { stored, unmatched, end, refused };

// Comparisons written so that NaN fails them; a limit written in a file
// reads as the float nearest to it.
bool amplitude_ok(double a) {
  return a >= static_cast<float>(min_amplitude) && a <= static_cast<float>(max_amplitude);
}
bool frequency_ok(float f) {
  return f >= static_cast<float>(min_frequency) && f <= static_cast<float>(max_frequency);
}

// A position read from a frequency at a limit maps back to within a few
// float steps of it.
constexpr double position_slack = 1e-3;
bool position_ok(float position) {
  static const double lowest = hertz_position(min_frequency) - position_slack;
  static const double highest = hertz_position(max_frequency) + position_slack;
  const double p = position;
  return p >= lowest && p <= highest;
}

// What a key takes, said with its refusal.
std::string what_key_takes(const std::string& key) {
  char text[128] = "";
  if (key == "r1" || key == "r2")
    std::snprintf(text, sizeof text, "a divisor of the rule, 0.000001 to %g",
                  static_cast<double>(max_rule_divisor));
  else if (key == "k")
    std::snprintf(text, sizeof text, "the rule's k, 0 to %g", static_cast<double>(max_k));
  else if (key == "x" || key == "y")
    std::snprintf(text, sizeof text, "cells, 0 to %d", max_grid);
  else if (key == "dur")
    std::snprintf(text, sizeof text, "the grain duration, %g to %g s",
                  static_cast<double>(min_grain_duration), static_cast<double>(max_grain_duration));
  else if (key == "iter")
    std::snprintf(text, sizeof text, "a whole number of iterations");
  else if (key == "Ns")
    std::snprintf(text, sizeof text, "the number of states, %d to %d", min_states, max_states);
  else if (key == "noinstrm")
    std::snprintf(text, sizeof text, "the number of instruments, %d to %d", min_instruments,
                  max_instruments);
  else if (key[0] == 's')
    std::snprintf(text, sizeof text, "a state's frequency, %g to %g Hz, for states 0 to %d",
                  min_frequency, max_frequency, max_states - 1);
  else if (key[0] == 'i')
    std::snprintf(text, sizeof text,
                  "an instrument's score amplitude, %g to %g, for instruments 0 to %d",
                  min_amplitude, max_amplitude, max_instruments - 1);
  return text;
}

std::string key_of(const std::string& line) { return line.substr(0, line.find('=')); }

line_kind refuse(const std::string& line) {
  report_error("Parameter out of range: %s (%s)\n", line.c_str(), what_key_takes(key_of(line)).c_str());
  return line_kind::refused;
}

// A line naming a key of the set whose value is no number ("s5=abc"): left
// unread, the set would keep whatever it held before.
bool names_a_key(const std::string& line) {
  const std::string key = key_of(line);
  if (key.size() == line.size()) return false;
  for (const char* known : {"r1", "r2", "k", "x", "y", "dur", "iter", "Ns", "noinstrm"})
    if (key == known) return true;
  return key.size() > 1 && (key[0] == 's' || key[0] == 'i') &&
         key.find_first_not_of("0123456789", 1) == std::string::npos;
}

line_kind refuse_not_a_number(const std::string& line) {
  report_error("Parameter not a number: %s (%s)\n", line.c_str(),
               what_key_takes(key_of(line)).c_str());
  return line_kind::refused;
}

// "key=%f": the key must match from the first character.
bool match_float(const char* line, const char* key, float& value, bool& overflow) {
  const char* s = line;
  overflow = false;
  return scan_literal(s, key) && scan_float(s, value) == scan_result::ok;
}

bool match_int(const char* line, const char* key, int& value, bool& overflow) {
  const char* s = line;
  if (!scan_literal(s, key)) return false;
  const scan_result r = scan_int(s, value);
  overflow = r == scan_result::overflow;
  return r != scan_result::none;
}

// "s%d=%f" and "i%d=%f": both numbers or nothing.
bool match_indexed(const char* line, char key, int& index, float& value, bool& overflow) {
  const char* s = line;
  overflow = false;
  if (*s != key) return false;
  ++s;
  const scan_result r = scan_int(s, index);
  if (r == scan_result::none) return false;
  if (r == scan_result::overflow) {
    overflow = true;
    return true;
  }
  return scan_literal(s, "=") && scan_float(s, value) == scan_result::ok;
}

void echo_float(const char* format, float v) { std::fprintf(echo_stream(), format, static_cast<double>(v)); }
void echo_int(const char* format, int v) { std::fprintf(echo_stream(), format, v); }

// One line against the patterns, in the reader's fixed order.
line_kind assign_line(const std::string& text, parameters_type& p) {
  const char* line = text.c_str();
  float f = 0.0f;
  int n = 0;
  int index = 0;
  bool overflow = false;

  if (match_float(line, "r1=", f, overflow)) {
    p.r1 = f;
    echo_float("r1=%f \n", p.r1);
  } else if (match_float(line, "r2=", f, overflow)) {
    p.r2 = f;
    echo_float("r2=%f \n", p.r2);
  } else if (match_float(line, "k=", f, overflow)) {
    p.k = f;
    echo_float("k=%f \n", p.k);
  } else if (match_int(line, "x=", n, overflow)) {
    if (overflow) return refuse(text);
    p.x = n;
    echo_int("x=%d\n", p.x);
  } else if (match_int(line, "y=", n, overflow)) {
    if (overflow) return refuse(text);
    p.y = n;
    echo_int("y=%d \n", p.y);
  } else if (match_indexed(line, 'i', index, f, overflow)) {
    if (overflow || index < 0 || index >= max_instruments || !amplitude_ok(f)) return refuse(text);
    p.instrm[index] = static_cast<float>(f / 10.0);
  } else if (match_float(line, "dur=", f, overflow)) {
    p.dur = f;
    echo_float("dur=%f \n", p.dur);
  } else if (match_int(line, "iter=", n, overflow)) {
    if (overflow) return refuse(text);
    p.iter = n;
    echo_int("iter=%d \n", p.iter);
  } else if (match_indexed(line, 's', index, f, overflow)) {
    if (overflow || index < 0 || index >= max_states || !frequency_ok(f)) return refuse(text);
    p.states[index] = static_cast<float>(hertz_position(f));
  } else if (match_int(line, "Ns=", n, overflow)) {
    if (overflow) return refuse(text);
    p.Ns = n;
    echo_int("Ns=%d\n", p.Ns);
  } else if (match_int(line, "noinstrm=", n, overflow)) {
    if (overflow) return refuse(text);
    p.noinstrm = n;
    echo_int("noinstrm=%d\n", p.noinstrm);
  } else if (text == "reduce=mode" || text == "reduce=mean") {
    // Not part of the set: event list blocks never carry it, and readers
    // that predate it skip it as any line they do not know.
    reduction_read = text == "reduce=mode" ? 1 : 0;
    return line_kind::unmatched;
  } else if (const std::optional<bool> grain = take_grain_line(text)) {
    // Like "reduce=", no line of the set itself.
    return *grain ? line_kind::unmatched : refuse(text);
  } else if (text == "end") {
    return line_kind::end;
  } else if (names_a_key(text)) {
    return refuse_not_a_number(text);
  } else {
    return line_kind::unmatched;
  }
  return line_kind::stored;
}

int refuse_value(const char* key, double value) {
  report_error("Parameter out of range: %s=%f (%s)\n", key, value, what_key_takes(key).c_str());
  return -1;
}

int refuse_indexed(char key, int index, double value) {
  report_error("Parameter out of range: %c%d=%f (%s)\n", key, index, value,
               what_key_takes(std::string(1, key)).c_str());
  return -1;
}

int refuse_value(const char* key, int value) {
  report_error("Parameter out of range: %s=%d (%s)\n", key, value, what_key_takes(key).c_str());
  return -1;
}

bool rule_divisor_ok(float v) { return v >= min_rule_divisor && v <= max_rule_divisor; }

// The first entry of `values` that `ok` refuses, or -1.
template <std::size_t N, typename Ok>
int first_refused(const std::array<float, N>& values, Ok ok) {
  for (std::size_t i = 0; i < N; ++i)
    if (!ok(values[i])) return static_cast<int>(i);
  return -1;
}

}  // namespace

int assign_values(std::FILE* fp, parameters_type& p) {
  std::string line;
  int stored = 0;
  while (Readline(line, fp, param_line_max) >= 0) {
    const line_kind kind = assign_line(line, p);
    if (kind == line_kind::refused) return -1;
    if (kind == line_kind::end) break;  // the stream stays at the next line
    if (kind == line_kind::stored) ++stored;
  }
  return stored;
}

int check_parameters(const parameters_type& p) {
  if (p.Ns < min_states || p.Ns > max_states) return refuse_value("Ns", p.Ns);
  if (p.noinstrm < min_instruments || p.noinstrm > max_instruments) return refuse_value("noinstrm", p.noinstrm);
  if (p.x < 0 || p.x > max_grid) return refuse_value("x", p.x);
  if (p.y < 0 || p.y > max_grid) return refuse_value("y", p.y);
  if (!rule_divisor_ok(p.r1)) return refuse_value("r1", static_cast<double>(p.r1));
  if (!rule_divisor_ok(p.r2)) return refuse_value("r2", static_cast<double>(p.r2));
  if (!std::isfinite(p.k) || p.k < 0.0f || p.k > max_k) return refuse_value("k", static_cast<double>(p.k));
  // A grain must last, and a long one soon makes an endless render.
  if (!(p.dur >= min_grain_duration && p.dur <= max_grain_duration))
    return refuse_value("dur", static_cast<double>(p.dur));
  if (const int s = first_refused(p.states, position_ok); s >= 0)
    return refuse_indexed('s', s, position_hertz(p.states[s]));
  const auto amplitude_position_ok = [](float v) { return amplitude_ok(position_amplitude(v)); };
  if (const int i = first_refused(p.instrm, amplitude_position_ok); i >= 0)
    return refuse_indexed('i', i, position_amplitude(p.instrm[i]));
  return 0;
}

void report_parameter_refusal(int status, const std::string& path) {
  if (status == no_parameters)
    report_error("No parameters in %s\n", path.c_str());
  else
    report_error("Format error in parameter file %s\n", path.c_str());
}

int read_parameters(std::FILE* fp, parameters_type& p) {
  // Read into a copy: a refused block changes nothing.
  parameters_type candidate = p;
  const int stored = assign_values(fp, candidate);
  if (stored < 0) return -1;
  if (stored == 0) return no_parameters;
  if (check_parameters(candidate) != 0) return -1;
  p = candidate;
  return 0;
}
