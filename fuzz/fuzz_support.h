// What the fuzz targets share: reading text through a stream, the written
// text of a set or a list, and "the same after a round trip" to the
// precision of "%f".
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "engine/externs.h"
#include "files/event_file.h"
#include "files/param_file.h"
#include "platform/temporary_file.h"
#include "tests/support/support.h"

namespace fuzz {

// A property the input broke: abort, so that the fuzzer keeps the input.
inline void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

using test_support::read_text;
using test_support::text_of;

// A private directory for the files a target writes, removed at exit.
inline const std::string& scratch_directory() {
  static const private_directory directory;
  require(!directory.path().empty(), "a scratch directory is made");
  return directory.path();
}

// Writes `size` bytes to the file `path`, made or emptied.
inline void write_file(const std::string& path, const void* data, std::size_t size) {
  std::FILE* fp = std::fopen(path.c_str(), "w");
  require(fp != nullptr, "a scratch file opens");
  std::fwrite(data, 1, size, fp);
  std::fclose(fp);
}

inline int read_set(const std::string& text, parameters_type& p) {
  return read_text(text, [&](std::FILE* fp) { return read_parameters(fp, p); });
}

inline std::string written_set(const parameters_type& p) {
  return text_of([&](std::FILE* fp) { write_parameters(fp, p); });
}

inline std::string written_list() {
  return text_of([](std::FILE* fp) { write_event_list(fp); });
}

// "key=number" lines with the same key whose numbers differ by no more than
// what "%f" and a float position lose (whole numbers differ by at least 1).
inline bool same_number_line(const std::string& a, const std::string& b) {
  const auto eq = a.find('=');
  if (eq == std::string::npos || a.compare(0, eq + 1, b, 0, eq + 1) != 0) return false;
  char *end_a = nullptr, *end_b = nullptr;
  const double va = std::strtod(a.c_str() + eq + 1, &end_a);
  const double vb = std::strtod(b.c_str() + eq + 1, &end_b);
  return *end_a == '\0' && *end_b == '\0' && std::fabs(va - vb) <= 1e-6 + 2e-6 * std::fabs(va);
}

// Two written texts are the same when every line is, but for such numbers;
// names must match exactly.
inline bool same_text(const std::string& a, const std::string& b) {
  std::istringstream in_a(a), in_b(b);
  std::string la, lb;
  while (std::getline(in_a, la))
    if (!std::getline(in_b, lb) || (la != lb && !same_number_line(la, lb))) return false;
  return !std::getline(in_b, lb);
}

inline void quiet_start() {
  systeminit();
  Echo_Stream = std::fopen("/dev/null", "w");
  require(Echo_Stream != nullptr, "/dev/null opens");
}

}  // namespace fuzz
