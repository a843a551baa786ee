#include "files/event_file.h"

#include <string>

#include "engine/externs.h"
#include "engine/report.h"
#include "events/event_list.h"
#include "files/param_file.h"
#include "files/scan.h"

int write_event_list(std::FILE* fp) {
  if (!Event_List) {
    std::fputs("No list\n", Echo_Stream);
    return 0;
  }
  for (const event_type* e = Event_List.get(); e; e = e->next.get()) {
    std::fprintf(fp, "event\ntype=%d\ntime=%d\nname=%s\n", e->type, e->time_stamp, e->name.c_str());
    switch (e->type) {
      case event_change:
        write_parameters(fp, *e->params);
        break;
      case event_interp:
        std::fprintf(fp, "finish time=%d\n", e->end_time);
        write_parameters(fp, *e->params);
        break;
      case event_special:
        std::fputs("end\n", fp);
        break;
      default:
        std::fputs("Not yet implemented\n", Echo_Stream);
        break;
    }
  }
  return 0;
}

namespace {

std::unique_ptr<event_type> fail(const char* message) {
  report_error("%s", message);
  return nullptr;
}

// "key=%d" on a whole line.
bool scan_keyed_int(const std::string& line, const char* key, int& value) {
  const char* s = line.c_str();
  return scan_literal(s, key) && scan_int(s, value) == scan_result::ok;
}

}  // namespace

std::unique_ptr<event_type> read_event(std::FILE* fp) {
  std::string line;
  if (Readline(line, fp, event_line_max) < 0) {
    report_error("bad format @ event: %s \n", line.c_str());
    return nullptr;
  }
  if (line != "event") return fail("bad start\n");

  if (Readline(line, fp, event_line_max) < 0) return fail("bad format @ type \n");
  int type = 0;
  if (!scan_keyed_int(line, "type=", type)) return fail("bad type");
  std::unique_ptr<event_type> e = create_event(type);
  if (!e) return fail("bad type");
  // Fields a block does not name (iter, always) keep the current values.
  if (e->params) *e->params = Current_State;

  if (Readline(line, fp, event_line_max) < 0) return fail("bad format @ time");
  if (!scan_keyed_int(line, "time=", e->time_stamp)) return fail("bad time");

  if (Readline(line, fp, event_line_max) < 0) return fail("bad format @ name\n");
  if (line.compare(0, 5, "name=") != 0) return fail("bad name");
  // The whole rest of the line: names may hold blanks or be empty.
  e->name = event_name(line.substr(5));

  switch (type) {
    case event_change:
      if (read_parameters(fp, *e->params) != 0) return fail("Format error in parameter file\n");
      break;
    case event_interp:
      if (Readline(line, fp, event_line_max) <= 0) return fail("bad format");
      if (!scan_keyed_int(line, "finish time=", e->end_time)) return fail("bad name");
      if (read_parameters(fp, *e->params) != 0) return fail("Format error in parameter file\n");
      break;
    case event_special:
      if (Readline(line, fp, event_line_max) < 0) return fail("bad format @ end \n");
      if (line != "end") return fail("bad end");
      break;
    default:
      std::fputs("Not yet implemented\n", Echo_Stream);
      break;
  }
  return e;
}

int read_event_list(std::FILE* fp) {
  std::fputs("wail\n", Echo_Stream);
  // Read into a list of its own; the current list goes only on success.
  std::unique_ptr<event_type> first = read_event(fp);
  if (!first) return -1;
  int count = 1;
  event_type* last = first.get();
  while (std::unique_ptr<event_type> e = read_event(fp)) {
    last->next = std::move(e);
    last = last->next.get();
    ++count;
    std::fprintf(Echo_Stream, "loading %d\n", count);
  }
  clear_event_list();
  Event_List = std::move(first);
  List_Size = count;
  return 1;
}
