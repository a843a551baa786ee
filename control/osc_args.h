// Reading liblo's arguments. They point into the message at 4-byte
// alignment, short of what the union lo_arg asks, so they are read as bytes.
#pragma once

#include <lo/lo.h>

#include <cstdint>
#include <cstring>
#include <optional>

inline std::int32_t osc_int(const lo_arg* a) {
  std::int32_t v = 0;
  std::memcpy(&v, a, sizeof v);
  return v;
}

inline float osc_float(const lo_arg* a) {
  float v = 0.0f;
  std::memcpy(&v, a, sizeof v);
  return v;
}

inline const char* osc_string(const lo_arg* a) { return reinterpret_cast<const char*>(a); }

inline std::int64_t osc_int64(const lo_arg* a) {
  std::int64_t v = 0;
  std::memcpy(&v, a, sizeof v);
  return v;
}

inline double osc_double(const lo_arg* a) {
  double v = 0.0;
  std::memcpy(&v, a, sizeof v);
  return v;
}

// An argument of any OSC number type as a double; nothing for other types.
inline std::optional<double> osc_number(char type, const lo_arg* a) {
  switch (type) {
    case 'i': return osc_int(a);
    case 'f': return osc_float(a);
    case 'h': return static_cast<double>(osc_int64(a));
    case 'd': return osc_double(a);
    default: return std::nullopt;
  }
}
