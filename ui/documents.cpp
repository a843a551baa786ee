#include "ui/documents.h"

#include <Xm/List.h>


#include "engine/externs.h"
#include "engine/report.h"
#include "engine/view.h"
#include "events/event_list.h"
#include "files/event_file.h"
#include "files/param_file.h"
#include "files/readable_file.h"
#include "platform/replacing_file.h"
#include "ui/Xctrl.h"
#include "ui/Xevent.h"
#include "ui/grain_window.h"
#include "ui/messages.h"
#include "ui/question.h"
#include "ui/undo.h"
#include "ui/widgets.h"

namespace {

Widget list_line = nullptr;
std::string list_name;  // the file the list was last loaded from or saved to

struct read_set {
  parameters_type set;
  int mean_mode = 0;
  grain_design grain;
};

std::string base_name(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void apply_set(const read_set& read, const std::string& path, bool clear_list) {
  {
    const undoable_change change("Load " + base_name(path), clear_list);
    Current_State = read.set;
    Mean_Mode = read.mean_mode;
    Grain_Design = read.grain;
    if (clear_list) clear_event_list();
  }
  mark_set_saved();
  std::fprintf(Echo_Stream, "r1=%f\n", static_cast<double>(Current_State.r1));
  show_reduction();
  set_grain_window();
  view_set_all_frequencies();
  view_set_all_amplitudes();
  view_set_control();
  if (clear_list) show_event_list();
}

// Whether the list's events would change a set loaded now: any but reseeds.
bool list_changes_the_set() {
  for (const event_type* e = Event_List.get(); e; e = e->next.get())
    if (e->type == event_change || e->type == event_interp) return true;
  return false;
}

std::string list_title() { return list_name.empty() ? "The event list" : list_name; }

}  // namespace

bool open_parameter_set(const std::string& path, Widget owner) {
  const file_ptr fp = open_for_reading(path);
  if (!fp) {
    report_file_error("Can't open file", path, reading_failure(errno));
    return false;
  }
  read_set read{Current_State, Mean_Mode, Grain_Design};
  if (const int status = read_parameter_file(fp.get(), read.set, read.mean_mode, &read.grain);
      status < 0) {
    report_parameter_refusal(status, path);
    return false;
  }
  if (!list_changes_the_set()) {
    apply_set(read, path, false);
    return true;
  }
  ask(owner,
      list_title() + " is in force: its events change the set as it plays,\nso " +
          base_name(path) + " would not sound as it is.\nClear the event list?",
      {"Clear List", [read, path] { apply_set(read, path, true); }},
      {"Keep List", [read, path] {
         apply_set(read, path, false);
         show_notice(list_title() + " plays over " + base_name(path));
       }});
  return true;
}

bool open_event_list(const std::string& path) {
  const file_ptr fp = open_for_reading(path);
  if (!fp) {
    report_file_error("Can't open file", path, reading_failure(errno));
    return false;
  }
  {
    const undoable_change change("Load " + base_name(path), true);
    if (read_event_list(fp.get()) == -1) {  // the reader has said why; here, which file
      report_error("Not loaded: %s\n", path.c_str());
      return false;
    }
  }
  list_name = base_name(path);
  mark_list_saved();
  show_event_list();
  return true;
}

void cb_clear_event_list(Widget, XtPointer, XtPointer) {
  {
    const undoable_change change("Clear Event List", true);
    clear_event_list();
  }
  list_name.clear();
  show_event_list();
}

Widget build_event_list_line(Widget form, Widget above) {
  return list_line = make_line_under(form, above, "event_list_name", "Event list:\nnone");
}

void show_event_list() {
  cancel_event_edit();
  XmListDeleteAllItems(event_list_disp);
  display_list();
  show_event_list_name();
}

void show_event_list_name() {
  if (!list_line) return;
  std::string text = "Event list:\nnone";
  if (List_Size > 0 && !list_unsaved() && !list_name.empty())
    text = "Event list:\n" + list_name;
  else if (List_Size > 0)
    text = "Event list:\n" + std::to_string(List_Size) + (List_Size == 1 ? " event" : " events") +
           ", not saved";
  set_label(list_line, text.c_str());
}

namespace {

// Writes through a temporary file, so that a failed write keeps the old file.
bool save_with(const std::string& path, int (*write)(std::FILE*)) {
  replacing_file file(path);
  if (!file.stream()) {
    report_file_error("Can't open file", path, file.error());
    return false;
  }
  write(file.stream());
  if (file.commit()) return true;
  report_file_error("Can't write file", path, file.error());
  return false;
}

int write_current_state(std::FILE* fp) {
  return write_parameter_file(fp, Current_State, Mean_Mode, Grain_Design);
}

}  // namespace

void save_parameter_set(const std::string& path, Widget owner) {
  confirm_replace(owner, path, [path] {
    if (save_with(path, write_current_state)) mark_set_saved();
  });
}

void save_event_list_file(const std::string& path, Widget owner) {
  confirm_replace(owner, path, [path] {
    if (!save_with(path, write_event_list)) return;
    list_name = base_name(path);
    mark_list_saved();
    show_event_list_name();
  });
}

void confirm_unsaved_work(std::function<void()> then) {
  std::string unsaved;
  if (set_unsaved()) unsaved = "The parameter set has changes not saved.\n";
  if (list_unsaved()) unsaved += "The event list has changes not saved.\n";
  if (unsaved.empty()) {
    then();
    return;
  }
  ask(Ctrl_pannel, unsaved + "Quit without saving them?", {"Quit", std::move(then)},
      {"Cancel", nullptr});
}
