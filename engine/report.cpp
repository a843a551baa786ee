#include "engine/report.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {

// Any thread may report; the display is set once, by the windows.
std::atomic<error_display> the_display{nullptr};

}  // namespace

void show_errors_in(error_display display) { the_display.store(display); }

void display_error(const std::string& text) {
  if (const error_display display = the_display.load()) display(text);
}

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
  display_error(text);
}
