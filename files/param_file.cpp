#include "files/param_file.h"

#include <cmath>
#include <string_view>

#include "engine/externs.h"
#include "engine/report.h"
#include "files/scan.h"

int Readline(std::string& buf, std::FILE* fp, int maxLen) {
  buf.clear();
  const std::size_t keep = maxLen < 0 ? 0 : static_cast<std::size_t>(maxLen);
  int c = 0;
  while ((c = std::getc(fp)) != EOF && c != '\n') {
    if (buf.size() < keep) buf.push_back(static_cast<char>(c));
  }
  if (c == EOF) return -2;
  return static_cast<int>(buf.size());
}

int write_parameters(std::FILE* fp, const parameters_type& p) {
  std::fputs("Chug\n", Echo_Stream);
  std::fprintf(fp, "r1=%f\nr2=%f\nk=%f\nNs=%d\nx=%d\ny=%d\ndur=%f\nnoinstrm=%d\n",
               static_cast<double>(p.r1), static_cast<double>(p.r2), static_cast<double>(p.k),
               p.Ns, p.x, p.y, static_cast<double>(p.dur), p.noinstrm);
  for (int i = 0; i < p.Ns && i < max_states; ++i)
    std::fprintf(fp, "s%d=%f\n", i, std::exp(static_cast<double>(p.states[i]) * 0.096));
  for (int i = 0; i < p.noinstrm && i < max_instruments; ++i)
    std::fprintf(fp, "i%d=%f\n", i, static_cast<double>(p.instrm[i]) * 10.0);
  std::fputs("end\n", fp);
  return 0;
}

namespace {

enum class line_kind { stored, unmatched, end, refused };

line_kind refuse(const std::string& line) {
  report_error("Parameter out of range: %s\n", line.c_str());
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

void echo_float(const char* format, float v) { std::fprintf(Echo_Stream, format, static_cast<double>(v)); }
void echo_int(const char* format, int v) { std::fprintf(Echo_Stream, format, v); }

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
    if (overflow || index < 0 || index >= max_instruments || !std::isfinite(f)) return refuse(text);
    p.instrm[index] = static_cast<float>(f / 10.0);
  } else if (match_float(line, "dur=", f, overflow)) {
    p.dur = f;
    echo_float("dur=%f \n", p.dur);
  } else if (match_int(line, "iter=", n, overflow)) {
    if (overflow) return refuse(text);
    p.iter = n;
    echo_int("iter=%d \n", p.iter);
  } else if (match_indexed(line, 's', index, f, overflow)) {
    // A frequency of 0 or less has no position on the logarithmic scale.
    if (overflow || index < 0 || index >= max_states || !std::isfinite(f) || f <= 0.0f)
      return refuse(text);
    p.states[index] = static_cast<float>(std::log(static_cast<double>(f)) / 0.096);
  } else if (match_int(line, "Ns=", n, overflow)) {
    if (overflow) return refuse(text);
    p.Ns = n;
    echo_int("Ns=%d\n", p.Ns);
  } else if (match_int(line, "noinstrm=", n, overflow)) {
    if (overflow) return refuse(text);
    p.noinstrm = n;
    echo_int("noinstrm=%d\n", p.noinstrm);
  } else if (text == "end") {
    return line_kind::end;
  } else {
    return line_kind::unmatched;
  }
  return line_kind::stored;
}

int refuse_value(const char* key, double value) {
  report_error("Parameter out of range: %s=%f\n", key, value);
  return -1;
}

int refuse_value(const char* key, int value) {
  report_error("Parameter out of range: %s=%d\n", key, value);
  return -1;
}

bool rule_divisor_ok(float v) { return std::isfinite(v) && v > 0.0f && v <= 1000.0f; }

}  // namespace

int assign_values(std::FILE* fp, parameters_type& p) {
  std::string line;
  while (Readline(line, fp, param_line_max) >= 0) {
    const line_kind kind = assign_line(line, p);
    if (kind == line_kind::refused) return -1;
    if (kind == line_kind::end) break;  // the stream stays at the next line
  }
  return 0;
}

int check_parameters(const parameters_type& p) {
  if (p.Ns < 1 || p.Ns > max_states) return refuse_value("Ns", p.Ns);
  if (p.noinstrm < 1 || p.noinstrm > max_instruments) return refuse_value("noinstrm", p.noinstrm);
  if (p.x < 0 || p.x > max_grid) return refuse_value("x", p.x);
  if (p.y < 0 || p.y > max_grid) return refuse_value("y", p.y);
  if (!rule_divisor_ok(p.r1)) return refuse_value("r1", static_cast<double>(p.r1));
  if (!rule_divisor_ok(p.r2)) return refuse_value("r2", static_cast<double>(p.r2));
  if (!std::isfinite(p.k) || p.k < 0.0f || p.k > 1000.0f) return refuse_value("k", static_cast<double>(p.k));
  // A grain must last: a duration of 0 or less makes an empty sound.
  if (!std::isfinite(p.dur) || p.dur <= 0.0f)
    return refuse_value("dur", static_cast<double>(p.dur));
  return 0;
}

int read_parameters(std::FILE* fp, parameters_type& p) {
  // Read into a copy: a refused block changes nothing.
  parameters_type candidate = p;
  if (assign_values(fp, candidate) != 0 || check_parameters(candidate) != 0) return -1;
  p = candidate;
  return 0;
}
