// Reading liblo's arguments. They point into the message at 4-byte
// alignment, short of what the union lo_arg asks, so they are read as bytes.
#pragma once

#include <lo/lo.h>

#include <cstdint>
#include <cstring>
#include <optional>

template <typename T>
T osc_value(const lo_arg* a) {
  T v{};
  std::memcpy(&v, a, sizeof v);
  return v;
}

inline std::int32_t osc_int(const lo_arg* a) { return osc_value<std::int32_t>(a); }
inline float osc_float(const lo_arg* a) { return osc_value<float>(a); }
inline const char* osc_string(const lo_arg* a) { return reinterpret_cast<const char*>(a); }

// An argument of any OSC number type as a double; nothing for other types.
inline std::optional<double> osc_number(char type, const lo_arg* a) {
  switch (type) {
    case 'i': return osc_int(a);
    case 'f': return osc_float(a);
    case 'h': return static_cast<double>(osc_value<std::int64_t>(a));
    case 'd': return osc_value<double>(a);
    default: return std::nullopt;
  }
}
