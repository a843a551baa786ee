#include "files/event_file.h"

#include <string>

#include "engine/engine.h"
#include "engine/externs.h"
#include "engine/report.h"
#include "events/event_list.h"
#include "files/param_file.h"
#include "files/scan.h"

int write_event_list(std::FILE* fp) { return write_event_list_of(fp, default_engine()); }

int write_event_list_of(std::FILE* fp, const engine& owner) {
  if (!owner.events) {
    std::fputs("No list\n", Echo_Stream);
    return 0;
  }
  for (const event_type* e = owner.events.get(); e; e = e->next.get()) {
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

// Every message ends its line, so the next one starts a line of its own.
std::unique_ptr<event_type> fail(std::string message) {
  if (message.empty() || message.back() != '\n') message += '\n';
  report_error("%s", message.c_str());
  return nullptr;
}

// "key=%d" on a whole line.
bool scan_keyed_int(const std::string& line, const char* key, int& value) {
  const char* s = line.c_str();
  return scan_literal(s, key) && scan_int(s, value) == scan_result::ok;
}

// One event block, or nullptr when it is refused (reported) or when the
// file ended where a block would begin (`at_end`).
std::unique_ptr<event_type> read_event_or_end(std::FILE* fp, const parameters_type& current,
                                              bool& at_end) {
  std::string line;
  at_end = false;
  if (Readline(line, fp, event_line_max) < 0) {
    at_end = line.empty();
    // The end of the file is how a list ends, which is no failure to speak of.
    if (!at_end) report_error("bad format @ event: %s \n", line.c_str());
    return nullptr;
  }
  if (line != "event") return fail("bad start\n");

  if (Readline(line, fp, event_line_max) < 0) return fail("bad format @ type \n");
  int type = 0;
  if (!scan_keyed_int(line, "type=", type)) return fail("bad type");
  std::unique_ptr<event_type> e = create_event(type);
  if (!e) return fail("bad type");
  // Fields a block does not name (iter, always) keep the current values.
  if (e->params) *e->params = current;

  if (Readline(line, fp, event_line_max) < 0) return fail("bad format @ time");
  if (!scan_keyed_int(line, "time=", e->time_stamp)) return fail("bad time");

  if (Readline(line, fp, event_line_max) < 0) return fail("bad format @ name\n");
  if (line.compare(0, 5, "name=") != 0) return fail("bad name");
  // The whole rest of the line: names may hold blanks or be empty.
  e->name = event_name(line.substr(5));

  switch (type) {
    case event_change:
      // The parameter reader has said why; a block of no lines keeps the
      // current values.
      if (read_parameters(fp, *e->params) == -1) return nullptr;
      break;
    case event_interp:
      if (Readline(line, fp, event_line_max) <= 0) return fail("bad format");
      if (!scan_keyed_int(line, "finish time=", e->end_time)) return fail("bad name");
      if (read_parameters(fp, *e->params) == -1) return nullptr;
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

int refuse_list() {
  report_error("Format error in event list\n");
  return -1;
}

}  // namespace

std::unique_ptr<event_type> read_event(std::FILE* fp) {
  bool at_end = false;
  return read_event_or_end(fp, Current_State, at_end);
}

int read_event_list(std::FILE* fp) { return read_event_list_into(fp, default_engine()); }

int read_event_list_into(std::FILE* fp, engine& owner) {
  std::fputs("wail\n", Echo_Stream);
  // An empty file is an empty list, as an empty list is saved.
  if (const int c = std::getc(fp); c == EOF) {
    clear_event_list(owner);
    return 0;
  } else {
    std::ungetc(c, fp);
  }
  // Read into a list of its own; the current list goes only when every
  // block up to the end of the file was read.
  bool at_end = false;
  std::unique_ptr<event_type> first = read_event_or_end(fp, owner.state, at_end);
  if (!first) return refuse_list();
  int count = 1;
  event_type* last = first.get();
  while (std::unique_ptr<event_type> e = read_event_or_end(fp, owner.state, at_end)) {
    last->next = std::move(e);
    last = last->next.get();
    ++count;
    std::fprintf(Echo_Stream, "loading %d\n", count);
  }
  if (!at_end) return refuse_list();
  clear_event_list(owner);
  owner.events = std::move(first);
  owner.list_size = count;
  return 1;
}
