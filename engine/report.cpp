#include "engine/report.h"

#include <atomic>
#include <cstdarg>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Any thread may report; the display is set once, by the windows.
std::atomic<error_display> the_display{nullptr};

thread_local report_redirect::sink redirected = nullptr;

}  // namespace

void show_errors_in(error_display display) { the_display.store(display); }

void display_error(const std::string& text) {
  if (redirected)
    redirected(text);
  else if (const error_display display = the_display.load())
    display(text);
}

report_redirect::report_redirect(sink to) : before_(redirected) { redirected = to; }
report_redirect::~report_redirect() { redirected = before_; }

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

  if (redirected) {
    redirected(text);
    return;
  }
  std::fputs(text.c_str(), stderr);
  display_error(text);
}

void report_file_error(const char* what, const std::string& name, const char* reason) {
  report_error("%s %s\n%s\n", what, name.c_str(), reason);
}

void report_file_error(const char* what, const std::string& name, int error) {
  report_file_error(what, name, std::strerror(error != 0 ? error : EIO));
}
