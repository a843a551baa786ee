#include "ui/messages.h"


#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/report.h"
#include "ui/error_dialog.h"
#include "ui/widgets.h"

namespace {

Widget notice = nullptr;

}  // namespace

void report_bad_number(const std::string& field_and_range) {
  report_error("Bad number\n%s\n", field_and_range.c_str());
}

bool read_start_at(Widget field, Widget dialog, const std::string& what, int last, int& start) {
  if (read_whole_number(field_text(field), start) && start >= 0 && start <= last) return true;
  show_errors_beside(dialog);
  report_bad_number("Start at: " + what + ", 0 to " + std::to_string(last));
  return false;
}

void report_lock_stop(Widget window, const std::string& entry, const std::string& wanted,
                      const std::string& reached) {
  show_errors_beside(window);
  report_error("Lock: %s stopped at %s, not %s: another one met the end of its range, and "
               "Lock keeps the intervals\n",
               entry.c_str(), reached.c_str(), wanted.c_str());
}

void report_auto_set_stop(Widget window, const std::string& entries, int first, int last,
                          const std::string& limit) {
  show_errors_beside(window);
  const std::string which = first == last ? std::to_string(first)
                                          : std::to_string(first) + " to " + std::to_string(last);
  report_error("Auto-set: %s %s stop at %s, the end of their range\n", entries.c_str(),
               which.c_str(), limit.c_str());
}

Widget build_notice_line(Widget form, Widget above) {
  return notice = make_line_under(form, above, "notice", " ");
}

void show_notice(const std::string& text) {
  if (notice) set_label(notice, text.empty() ? " " : text.c_str());
}

void report_late_iterations(int count) {
  if (count <= 0) {
    show_notice("");
    return;
  }
  show_notice(std::to_string(count) + (count == 1 ? " late iteration" : " late iterations"));
  std::fprintf(stderr, "%d iterations were computed too late to be heard in time\n", count);
}
