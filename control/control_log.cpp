#include "control/control_log.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <string>

void control_log(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string line = "zelmora: ";
  std::array<char, 512> text{};
  std::vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  line += text.data();
  line += '\n';
  std::fputs(line.c_str(), stderr);
}
