// The log of outside control: one line on standard error from any thread.
#pragma once

#include <string>
#include <string_view>

// "zelmora: " + text + a line feed. Only the log, never a dialog, so a
// thread without the toolkit may write it. What a peer sent may be in the
// text, so control characters are written escaped ("\x1b"), and a flood is
// cut down: beyond a burst of lines, a few a second, the rest dropped and
// counted in the next line that goes out (and at exit).
[[gnu::format(printf, 1, 2)]] void control_log(const char* format, ...);

// `text` with every control character (C0, DEL, C1) and every byte that is
// no UTF-8 written as \n, \t, \r or \xNN, and a backslash as \\: one line
// that cannot move the terminal's cursor or start an escape sequence.
std::string printable(std::string_view text);
