// Failure messages. Each goes to standard error exactly as formatted; a
// program with windows also has it shown in a dialog (its error display),
// so a failure is never visible on the terminal alone.
#pragma once

#include <string>

[[gnu::format(printf, 1, 2)]] void report_error(const char* format, ...);

// Where a program shows failures besides standard error: one display for
// the whole process, set at start-up; null for none.
using error_display = void (*)(const std::string& text);
void show_errors_in(error_display display);

// `text` in the error display, when there is one.
void display_error(const std::string& text);

// "Can't open file NAME\n" (`what` "Can't open file") with the reason,
// strerror(error), on a line of its own after it: the first line reads as
// it always did.
void report_file_error(const char* what, const std::string& name, int error);
void report_file_error(const char* what, const std::string& name, const char* reason);

// While one lives, report_error() on this thread hands its text to `to`
// instead, display_error() too: a worker thread must not touch the windows.
class report_redirect {
 public:
  using sink = void (*)(const std::string& text);
  explicit report_redirect(sink to);
  ~report_redirect();
  report_redirect(const report_redirect&) = delete;
  report_redirect& operator=(const report_redirect&) = delete;

 private:
  sink before_;
};
