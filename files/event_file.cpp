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
    std::fputs("No list\n", echo_stream());
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
        std::fputs("Not yet implemented\n", echo_stream());
        break;
    }
  }
  return 0;
}

namespace {

// The number of the line the stream last read, counted from 1; 0 when the
// stream cannot tell (it cannot seek).
long line_number(std::FILE* fp) {
  const long end = std::ftell(fp);
  if (end <= 0 || std::fseek(fp, 0, SEEK_SET) != 0) return 0;
  long lines = 0;
  int c = 0;
  for (long at = 0; at < end && (c = std::getc(fp)) != EOF; ++at) lines += c == '\n';
  if (c != '\n') ++lines;  // a last line without its newline
  std::fseek(fp, end, SEEK_SET);
  return lines;
}

// The reader's word for what is wrong, then where: the line and what it
// reads. Every message ends its line, so the next one starts a line of
// its own.
std::unique_ptr<event_type> fail(std::string message, std::FILE* fp, const std::string& line,
                                 const char* expected = nullptr) {
  if (message.empty() || message.back() != '\n') message += '\n';
  if (const long number = line_number(fp); number > 0) {
    message += "line " + std::to_string(number) + ": \"" + line + "\"";
    if (expected) message += std::string(", where ") + expected;
    message += '\n';
  }
  report_error("%s", message.c_str());
  return nullptr;
}

// The file ended inside a block.
std::unique_ptr<event_type> fail_at_end(std::string message, std::FILE* fp) {
  if (message.empty() || message.back() != '\n') message += '\n';
  if (const long number = line_number(fp); number > 0)
    message += "the list ends at line " + std::to_string(number) + ", inside an event\n";
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
std::unique_ptr<event_type> read_event_or_end(std::FILE* fp, bool& at_end,
                                              const parameters_type& base) {
  std::string line;
  at_end = false;
  if (Readline(line, fp, event_line_max) < 0) {
    at_end = line.empty();
    // The end of the file is how a list ends, which is no failure to speak of.
    if (!at_end) report_error("bad format @ event: %s \n", line.c_str());
    return nullptr;
  }
  if (line != "event") return fail("bad start\n", fp, line, "a block begins with \"event\"");

  if (Readline(line, fp, event_line_max) < 0) return fail_at_end("bad format @ type \n", fp);
  int type = 0;
  if (!scan_keyed_int(line, "type=", type)) return fail("bad type", fp, line, "\"type=1\" to 3");
  std::unique_ptr<event_type> e = create_event(type);
  if (!e) return fail("bad type", fp, line, "\"type=1\" to 3");
  // Fields a block does not name (iter, always) keep the current values.
  if (e->params) *e->params = base;

  if (Readline(line, fp, event_line_max) < 0) return fail_at_end("bad format @ time", fp);
  if (!scan_keyed_int(line, "time=", e->time_stamp))
    return fail("bad time", fp, line, "\"time=\" and an iteration");

  if (Readline(line, fp, event_line_max) < 0) return fail_at_end("bad format @ name\n", fp);
  if (line.compare(0, 5, "name=") != 0) return fail("bad name", fp, line, "\"name=\"");
  // The whole rest of the line: names may hold blanks or be empty.
  e->name = event_name(line.substr(5));

  switch (type) {
    case event_change:
      // The parameter reader has said why; a block of no lines keeps the
      // current values.
      if (read_parameters(fp, *e->params) == -1) return nullptr;
      break;
    case event_interp:
      if (const int read = Readline(line, fp, event_line_max); read <= 0)
        return read < 0 ? fail_at_end("bad format", fp)
                        : fail("bad format", fp, line, "\"finish time=\" and an iteration");
      if (!scan_keyed_int(line, "finish time=", e->end_time))
        return fail("bad name", fp, line, "\"finish time=\" and an iteration");
      if (read_parameters(fp, *e->params) == -1) return nullptr;
      break;
    case event_special:
      if (Readline(line, fp, event_line_max) < 0) return fail_at_end("bad format @ end \n", fp);
      if (line != "end") return fail("bad end", fp, line, "\"end\"");
      break;
    default:
      std::fputs("Not yet implemented\n", echo_stream());
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
  return read_event_or_end(fp, at_end, Current_State);
}

int read_event_list_into(std::FILE* fp, const parameters_type& base, event_list_read& read) {
  std::fputs("wail\n", echo_stream());
  read = {};
  // An empty file is an empty list, as an empty list is saved.
  if (const int c = std::getc(fp); c == EOF) {
    return 0;
  } else {
    std::ungetc(c, fp);
  }
  bool at_end = false;
  std::unique_ptr<event_type> first = read_event_or_end(fp, at_end, base);
  if (!first) return refuse_list();
  int count = 1;
  event_type* last = first.get();
  while (std::unique_ptr<event_type> e = read_event_or_end(fp, at_end, base)) {
    last->next = std::move(e);
    last = last->next.get();
    ++count;
    std::fprintf(echo_stream(), "loading %d\n", count);
  }
  if (!at_end) return refuse_list();
  read = {std::move(first), count};
  return 1;
}

int read_event_list(std::FILE* fp) { return read_event_list_into(fp, default_engine()); }

int read_event_list_into(std::FILE* fp, engine& owner) {
  // Read into a list of its own; the current list goes only when every
  // block up to the end of the file was read.
  event_list_read read;
  const int status = read_event_list_into(fp, owner.state, read);
  if (status < 0) return status;
  clear_event_list(owner);
  owner.events = std::move(read.first);
  owner.list_size = read.count;
  return status;
}
