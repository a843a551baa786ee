// The six file selection dialogs of the control panel's menus, and the OK
// handlers of the four that load and save parameter sets and event lists.
#include "ui/grain_window.h"
#include "ui/Xfiles.h"

#include <Xm/DialogS.h>
#include <Xm/FileSB.h>
#include <Xm/List.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/externs.h"
#include "engine/report.h"
#include "engine/view.h"
#include "ui/Xevent.h"
#include "files/event_file.h"
#include "files/param_file.h"
#include "files/readable_file.h"
#include "platform/replacing_file.h"
#include "ui/xm_text.h"
#include "ui/Xctrl.h"
#include "ui/Xfreq.h"
#include "ui/placement.h"
#include "ui/undo.h"

Widget load_p_files_shell, load_p_files, load_p_filename;
Widget save_p_files_shell, save_p_files, save_p_filename;
Widget load_e_files_shell, load_e_files, load_e_filename;
Widget save_e_files_shell, save_e_files, save_e_filename;
Widget save_s_files_shell, save_s_files, save_s_filename;
Widget csound_output_shell, csound_output, csound_filename;

namespace {

struct dialog_kind {
  const char* shell_name;
  const char* title;
  const char* box_name;
  const char* pattern;
  XtCallbackProc ok;
  XtCallbackProc cancel;
};

struct dialog_widgets {
  Widget& shell;
  Widget& box;
  Widget& text;
};

void build_dialog(Widget parent, const dialog_kind& kind, const dialog_widgets& widgets) {
  widgets.shell = XtVaCreatePopupShell(kind.shell_name, xmDialogShellWidgetClass, parent,
                                       XmNtitle, kind.title, nullptr);
  const compound_string pattern = make_compound_string(kind.pattern);
  Arg args[2];
  int n = 0;
  XtSetArg(args[n], XmNpattern, pattern.get()), ++n;
  // The handlers decide when a dialog closes: a failed load keeps some up.
  XtSetArg(args[n], XmNautoUnmanage, False), ++n;
  widgets.box = XmCreateFileSelectionBox(widgets.shell, const_cast<char*>(kind.box_name), args, n);
  widgets.text = XmFileSelectionBoxGetChild(widgets.box, XmDIALOG_TEXT);
  XtAddCallback(XmFileSelectionBoxGetChild(widgets.box, XmDIALOG_CANCEL_BUTTON),
                XmNactivateCallback, kind.cancel, nullptr);
  XtAddCallback(XmFileSelectionBoxGetChild(widgets.box, XmDIALOG_OK_BUTTON), XmNactivateCallback,
                kind.ok, nullptr);
}

std::string working_directory() {
  const std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
  return cwd ? cwd.get() : ".";
}

// Saves through a temporary file, so that a failed write keeps the old file.
void save_with(const std::string& path, int (*write)(std::FILE*)) {
  replacing_file file(path);
  if (!file.stream()) {
    report_file_error("Can't open file", path, file.error());
    return;
  }
  write(file.stream());
  if (!file.commit()) report_file_error("Can't write file", path, file.error());
}

int write_current_state(std::FILE* fp) {
  return write_parameter_file(fp, Current_State, Mean_Mode, Grain_Design);
}

}  // namespace

void create_load_p_files_shell(Widget parent) {
  build_dialog(parent,
               {"load_p_files_shell", "Load Parameters", "load_p_files", "*.csp", cb_load_p_ok,
                cb_load_p_cancel},
               {load_p_files_shell, load_p_files, load_p_filename});
}

void create_save_p_files_shell(Widget parent) {
  build_dialog(parent,
               {"save_p_files_shell", "Save Parameters", "save_p_files", "*.csp", cb_save_p_ok,
                cb_save_p_cancel},
               {save_p_files_shell, save_p_files, save_p_filename});
}

void create_load_e_files_shell(Widget parent) {
  build_dialog(parent,
               {"load_e_files_shell", "Load Event List", "load_e_files", "*.cse", cb_load_e_ok,
                cb_load_e_cancel},
               {load_e_files_shell, load_e_files, load_e_filename});
}

void create_save_e_files_shell(Widget parent) {
  build_dialog(parent,
               {"save_e_files_shell", "Save Event List", "save_e_files", "*.cse", cb_save_e_ok,
                cb_save_e_cancel},
               {save_e_files_shell, save_e_files, save_e_filename});
}

void create_save_s_files_shell(Widget parent) {
  build_dialog(parent,
               {"save_s_files_shell", "Generate Sound File", "save_s_files", "*.au", cb_save_s_ok,
                cb_save_s_cancel},
               {save_s_files_shell, save_s_files, save_s_filename});
  const compound_string mask = make_compound_string(working_directory() + "/*.au");
  XtVaSetValues(save_s_files, XmNdirMask, mask.get(), nullptr);
}

void create_csound_output_shell(Widget parent) {
  build_dialog(parent,
               {"csound_output_shell", "Csound Output", "csound_output", "*.sco", cb_cs_ok,
                cb_cs_cancel},
               {csound_output_shell, csound_output, csound_filename});
}

void cb_save_params(Widget, XtPointer, XtPointer) { open_file_dialog(save_p_files, Ctrl_pannel); }
void cb_save_events(Widget, XtPointer, XtPointer) { open_file_dialog(save_e_files, Ctrl_pannel); }
void cb_load_parameters(Widget, XtPointer, XtPointer) {
  open_file_dialog(load_p_files, Ctrl_pannel);
}
void cb_load_events(Widget, XtPointer, XtPointer) { open_file_dialog(load_e_files, Ctrl_pannel); }
void cb_csound(Widget, XtPointer, XtPointer) { open_file_dialog(csound_output, Ctrl_pannel); }
void cb_save_sounds(Widget, XtPointer, XtPointer) { open_file_dialog(save_s_files, Ctrl_pannel); }

void cb_load_p_cancel(Widget, XtPointer, XtPointer) { XtUnmanageChild(load_p_files); }
void cb_save_p_cancel(Widget, XtPointer, XtPointer) { XtUnmanageChild(save_p_files); }
void cb_load_e_cancel(Widget, XtPointer, XtPointer) { XtUnmanageChild(load_e_files); }
void cb_save_e_cancel(Widget, XtPointer, XtPointer) { XtUnmanageChild(save_e_files); }
void cb_save_s_cancel(Widget, XtPointer, XtPointer) { XtUnmanageChild(save_s_files); }
void cb_cs_cancel(Widget, XtPointer, XtPointer) { XtUnmanageChild(csound_output); }

void cb_save_p_ok(Widget, XtPointer, XtPointer) {
  take_typed_values();
  save_with(field_text(save_p_filename), write_current_state);
  XtUnmanageChild(save_p_files);
}

void cb_load_p_ok(Widget, XtPointer, XtPointer) {
  const std::string path = field_text(load_p_filename);
  const file_ptr fp = open_for_reading(path);
  if (!fp) {
    report_file_error("Can't open file", path, reading_failure(errno));
    XtUnmanageChild(load_p_files);
    return;
  }
  const undoable_change change;
  if (const int status = read_parameter_file(fp.get(), Current_State, Mean_Mode, &Grain_Design);
      status < 0) {
    report_parameter_refusal(status, path);
    return;
  }
  std::fprintf(Echo_Stream, "r1=%f\n", Current_State.r1);
  show_reduction();
  set_grain_window();
  view_set_all_frequencies();
  view_set_all_amplitudes();
  view_set_control();
  XtUnmanageChild(load_p_files);
}

void cb_save_e_ok(Widget, XtPointer, XtPointer) {
  save_with(field_text(save_e_filename), write_event_list);
  XtUnmanageChild(save_e_files);
}

void cb_load_e_ok(Widget, XtPointer, XtPointer) {
  const std::string path = field_text(load_e_filename);
  const file_ptr fp = open_for_reading(path);
  if (!fp) {
    report_file_error("Can't open file", path, reading_failure(errno));
    return;
  }
  if (read_event_list(fp.get()) == -1) {  // the reader has said why; here, which file
    report_error("Not loaded: %s\n", path.c_str());
    return;
  }
  // The old lines and a pending edit refer to events that are gone.
  cancel_event_edit();
  XmListDeleteAllItems(event_list_disp);
  display_list();
  XtUnmanageChild(load_e_files);
}
