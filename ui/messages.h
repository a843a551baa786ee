// Messages that say where: what was refused, in which field, and what the
// field takes.
#pragma once

#include <string>

// "Bad number" on a line of its own (the text scripts and users know), then
// the field's name and what it accepts, e.g. "Stop at: a whole number from
// 0 to 2147483647". To standard error and the error dialog.
void report_bad_number(const std::string& field_and_range);
