// Messages that say where: what was refused, in which field, and what the
// field takes.
#pragma once

#include <Xm/Xm.h>

#include <string>

// "Bad number" on a line of its own (the text scripts and users know), then
// the field's name and what it accepts, e.g. "Stop at: a whole number from
// 0 to 2147483647". To standard error and the error dialog.
void report_bad_number(const std::string& field_and_range);

// The "Start at" field of an Auto-set dialog: a number from 0 to `last`,
// counted as the sliders' labels count. A refusal is said beside `dialog`,
// naming `what` the number is ("an instrument's number").
bool read_start_at(Widget field, Widget dialog, const std::string& what, int last, int& start);

// A move with Lock set stops where the first entry meets its top or
// bottom: said beside `window` when the moved entry (`entry`, "State 3")
// did not reach what was asked, naming where it stopped.
void report_lock_stop(Widget window, const std::string& entry, const std::string& wanted,
                      const std::string& reached);

// Auto-set kept entries `first` to `last` (numbered as the sliders are) at
// the end of the range they would have passed: said beside `window`.
void report_auto_set_stop(Widget window, const std::string& entries, int first, int last,
                          const std::string& limit);

// The control panel's notice line, under `above` in its counter group:
// news that is no failure, such as iterations live play computed late.
// Returns the line, for what goes under it.
Widget build_notice_line(Widget form, Widget above);
// Shows `text` there (empty clears it).
void show_notice(const std::string& text);
// Live play's late iterations: a notice, and a line on standard error. Late
// notes were heard late, but nothing failed and nothing is lost, so no
// dialog interrupts; none late clears the notice.
void report_late_iterations(int count);
