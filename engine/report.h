// Failure messages. Each goes to standard error exactly as formatted; a
// program with windows also has it shown in a dialog (view.h's show_error),
// so a failure is never visible on the terminal alone.
#pragma once

[[gnu::format(printf, 1, 2)]] void report_error(const char* format, ...);
