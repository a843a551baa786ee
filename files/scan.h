// The few scanf conversions the text formats use, with strtol/strtof
// semantics so that an overflowing number is caught instead of undefined.
#pragma once

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

enum class scan_result { ok, none, overflow };

// A scanf literal: must match exactly at s; advances past it.
inline bool scan_literal(const char*& s, const char* literal) {
  const std::size_t n = std::strlen(literal);
  if (std::strncmp(s, literal, n) != 0) return false;
  s += n;
  return true;
}

// "%d": optional blanks, then a decimal integer that must fit an int.
inline scan_result scan_int(const char*& s, int& value) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s, &end, 10);
  if (end == s) return scan_result::none;
  if (errno == ERANGE || v < INT_MIN || v > INT_MAX) return scan_result::overflow;
  s = end;
  value = static_cast<int>(v);
  return scan_result::ok;
}

// "%f": optional blanks, then a real (strtof accepts what scanf does,
// "nan" and "inf" included; the callers judge those).
inline scan_result scan_float(const char*& s, float& value) {
  char* end = nullptr;
  errno = 0;
  const float v = std::strtof(s, &end);
  if (end == s) return scan_result::none;
  s = end;
  value = v;
  return scan_result::ok;
}
