// What the fuzz targets share: input as a stream, the written text of a set
// or a list, and "the same after a round trip" to the precision of "%f".
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "engine/externs.h"
#include "files/event_file.h"
#include "files/param_file.h"

namespace fuzz {

// `text` as a read-only stream; fmemopen refuses a size of 0, so an empty
// input is read as "" from a one-byte buffer.
inline std::FILE* stream_of(std::string& text) {
  const std::size_t size = text.size();
  text.push_back('\0');
  return ::fmemopen(text.data(), size == 0 ? 1 : size, "r");
}

// The fuzzer's bytes as text.
inline std::string text_of(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

template <typename Write>
std::string text_of(Write write) {
  char* buffer = nullptr;
  std::size_t length = 0;
  std::FILE* fp = ::open_memstream(&buffer, &length);
  if (!fp) std::abort();
  write(fp);
  std::fclose(fp);
  std::string text(buffer, length);
  std::free(buffer);
  return text;
}

inline std::string written_set(const parameters_type& p) {
  return text_of([&](std::FILE* fp) { write_parameters(fp, p); });
}

inline std::string written_list() {
  return text_of([](std::FILE* fp) { write_event_list(fp); });
}

// Two written texts are the same when every line is, except that numbers
// may differ by what "%f" and a float position lose on the way (whole
// numbers differ by at least 1, far beyond that).
inline bool same_text(const std::string& a, const std::string& b) {
  std::istringstream in_a(a), in_b(b);
  std::string la, lb;
  while (true) {
    const bool more_a = static_cast<bool>(std::getline(in_a, la));
    const bool more_b = static_cast<bool>(std::getline(in_b, lb));
    if (more_a != more_b) return false;
    if (!more_a) return true;
    if (la == lb) continue;
    const auto eq_a = la.find('='), eq_b = lb.find('=');
    if (eq_a == std::string::npos || la.compare(0, eq_a + 1, lb, 0, eq_b + 1) != 0) return false;
    char *end_a = nullptr, *end_b = nullptr;  // names must match exactly
    const double va = std::strtod(la.c_str() + eq_a + 1, &end_a);
    const double vb = std::strtod(lb.c_str() + eq_b + 1, &end_b);
    if (*end_a != '\0' || *end_b != '\0' || !(std::fabs(va - vb) <= 1e-6 + 2e-6 * std::fabs(va)))
      return false;
  }
}

// A property the input broke: abort, so that the fuzzer keeps the input.
inline void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

inline void quiet_start() {
  systeminit();
  Echo_Stream = std::fopen("/dev/null", "w");
  if (!Echo_Stream) std::abort();
}

}  // namespace fuzz
