#include "ui/messages.h"

#include <Xm/Label.h>

#include <cstdio>

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

Widget build_notice_line(Widget form, Widget above) {
  const compound_string empty = make_label(" ");
  notice = XtVaCreateManagedWidget(
      "notice", xmLabelWidgetClass, form, XmNlabelString, empty.get(), XmNalignment,
      XmALIGNMENT_BEGINNING, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, above,
      XmNtopOffset, 6, XmNleftAttachment, XmATTACH_FORM, XmNrightAttachment, XmATTACH_FORM,
      XmNrecomputeSize, False, nullptr);
  return notice;
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
