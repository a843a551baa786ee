#include "ui/messages.h"

#include "engine/report.h"

void report_bad_number(const std::string& field_and_range) {
  report_error("Bad number\n%s\n", field_and_range.c_str());
}
