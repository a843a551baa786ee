// Reading liblo's arguments. They point into the message at 4-byte
// alignment, short of what the union lo_arg asks, so they are read as bytes.
#pragma once

#include <lo/lo.h>

#include <cstdint>
#include <cstring>

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
