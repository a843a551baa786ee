// The log of outside control: one line on standard error from any thread.
#pragma once

// "zelmora: " + text + a line feed. Only the log, never a dialog, so a
// thread without the toolkit may write it.
[[gnu::format(printf, 1, 2)]] void control_log(const char* format, ...);
