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
