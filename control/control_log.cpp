#include "control/control_log.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace {

// A burst of lines goes out at once; then a few a second.
constexpr double burst_lines = 50.0;
constexpr double lines_per_second = 5.0;

std::size_t utf8_length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  const std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
  for (std::size_t i = at + 1; i < at + length; ++i)
    if ((byte(i) & 0xC0) != 0x80) return 0;
  if (lead == 0xC2 && byte(at + 1) < 0xA0) return 0;  // U+0080 ... U+009F: C1 controls
  return length;
}

void append_escaped(std::string& out, unsigned char c) {
  switch (c) {
    case '\n': out += "\\n"; return;
    case '\t': out += "\\t"; return;
    case '\r': out += "\\r"; return;
    case '\\': out += "\\\\"; return;
    default: break;
  }
  std::array<char, 5> hex{};
  std::snprintf(hex.data(), hex.size(), "\\x%02x", c);
  out += hex.data();
}

class rate_limit {
 public:
  // Whether a line may go out now; `dropped` gets the count dropped before it.
  bool allow(long& dropped) {
    const std::lock_guard<std::mutex> hold(lock_);
    const auto now = std::chrono::steady_clock::now();
    tokens_ = std::min(burst_lines,
                       tokens_ + lines_per_second * std::chrono::duration<double>(now - last_).count());
    last_ = now;
    if (tokens_ < 1.0) {
      ++dropped_;
      return false;
    }
    tokens_ -= 1.0;
    dropped = dropped_;
    dropped_ = 0;
    return true;
  }
  ~rate_limit() {
    if (dropped_ > 0) std::fprintf(stderr, "zelmora: %ld more log lines dropped\n", dropped_);
  }

 private:
  std::mutex lock_;
  double tokens_ = burst_lines;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
  long dropped_ = 0;
};

rate_limit limit;

}  // namespace

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
      ++i;
    } else if (const std::size_t n = c >= 0x80 ? utf8_length(text, i) : 0; n > 0) {
      out.append(text.substr(i, n));
      i += n;
    } else {
      append_escaped(out, c);
      ++i;
    }
  }
  return out;
}

void control_log(const char* format, ...) {
  long dropped = 0;
  if (!limit.allow(dropped)) return;
  std::va_list args;
  va_start(args, format);
  std::array<char, 1024> text{};
  std::vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  std::string line;
  if (dropped > 0) line = "zelmora: (" + std::to_string(dropped) + " log lines dropped)\n";
  line += "zelmora: " + printable(text.data()) + '\n';
  std::fputs(line.c_str(), stderr);
}
