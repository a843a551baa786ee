#include "engine/report.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "engine/view.h"

void report_error(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);

  std::fputs(text.c_str(), stderr);
  if (View.show_error) View.show_error(text);
}
