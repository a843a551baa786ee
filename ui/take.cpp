// Takes: the score of exactly the notes the last live play sent, kept in a
// temporary file while it plays and saved by Output -> "Save Take…", as it
// is or, for a sound file's name, as the sound csound renders from it.
#include <Xm/FileSB.h>
#include <Xm/Xm.h>

#include <array>
#include <cstdio>
#include <string>

#include "platform/replacing_file.h"
#include "engine/report.h"
#include "engine/csound/sound_format.h"
#include "files/readable_file.h"
#include "ui/Xctrl.h"
#include "ui/Xlive.h"
#include "ui/messages.h"
#include "ui/panel_menus.h"
#include "ui/placement.h"
#include "ui/question.h"
#include "ui/render_job.h"
#include "ui/widgets.h"

namespace {

file_ptr take;
Widget take_dialog = nullptr;

// Copies the take so far; the take itself goes on where it was.
bool copy_take(std::FILE* to) {
  std::FILE* from = take.get();
  std::fflush(from);
  const long end = std::ftell(from);
  std::rewind(from);
  std::array<char, 8192> buffer;
  long left = end;
  bool ok = end >= 0;
  while (ok && left > 0) {
    const auto chunk = static_cast<std::size_t>(std::min<long>(left, buffer.size()));
    ok = std::fread(buffer.data(), 1, chunk, from) == chunk &&
         std::fwrite(buffer.data(), 1, chunk, to) == chunk;
    left -= static_cast<long>(chunk);
  }
  std::fseek(from, end, SEEK_SET);
  return ok;
}

// Where the take's last note ends: notes are written in time order, each
// iteration's ending where the next begins. Only for a take no play writes.
double take_seconds() {
  std::FILE* from = take.get();
  std::fflush(from);
  const long end = std::ftell(from);
  std::rewind(from);
  double last_end = 0.0;
  std::array<char, 256> line;
  while (std::fgets(line.data(), line.size(), from)) {
    double start = 0.0, duration = 0.0;
    if (line[0] == 'i' && std::sscanf(line.data(), "%*s %lf %lf", &start, &duration) == 2)
      last_end = start + duration;
  }
  std::fseek(from, end, SEEK_SET);
  return last_end;
}

void cb_take_chosen(Widget w, XtPointer, XtPointer call_data) {
  const auto* chosen = static_cast<XmFileSelectionBoxCallbackStruct*>(call_data);
  char* name = nullptr;
  XmStringGetLtoR(chosen->value, const_cast<char*>(XmFONTLIST_DEFAULT_TAG), &name);
  const std::string path = name ? name : "";
  XtFree(name);
  XtUnmanageChild(w);
  if (!path.empty()) confirm_replace(w, path, [path] { save_take(path); });
}

}  // namespace

std::FILE* begin_take() {
  take.reset(std::tmpfile());
  XtSetSensitive(Panel_Menus.save_take, take != nullptr);
  return take.get();
}

bool save_take(const std::string& name) {
  if (!take) {
    report_error("No take to save: nothing has been played live yet\n");
    return false;
  }
  if (!sound_format_options(name).empty()) {
    // csound's render and live play would share the menus' greying.
    if (live_playing()) {
      report_error("Stop live play before saving the take as sound\n");
      return false;
    }
    return start_score_sound_job(name, copy_take, take_seconds());
  }
  replacing_file out(name);
  if (!out.stream()) {
    report_file_error("Can't open file", name, out.error());
    return false;
  }
  if (!copy_take(out.stream()) || !out.commit()) {
    report_file_error("Can't write file", name, out.error() != 0 ? out.error() : errno);
    return false;
  }
  return true;
}

void cb_save_take(Widget, XtPointer, XtPointer) {
  if (!take_dialog) {
    const compound_string pattern = make_compound_string("*.wav");
    Arg args[1];
    XtSetArg(args[0], XmNpattern, pattern.get());
    take_dialog =
        XmCreateFileSelectionDialog(Ctrl_pannel, const_cast<char*>("save_take_dialog"), args, 1);
    XtVaSetValues(XtParent(take_dialog), XmNtitle, "Save Take", nullptr);
    XtAddCallback(take_dialog, XmNokCallback, cb_take_chosen, nullptr);
    XtAddCallback(take_dialog, XmNcancelCallback,
                  [](Widget w, XtPointer, XtPointer) { XtUnmanageChild(w); }, nullptr);
  }
  open_file_dialog(take_dialog, Ctrl_pannel);
}
