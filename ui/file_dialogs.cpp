// The six file selection dialogs of the control panel's menus, and the OK
// handlers of the four that load and save parameter sets and event lists.
#include "ui/Xfiles.h"

#include <Xm/DialogS.h>
#include <Xm/FileSB.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "ui/xm_text.h"
#include "ui/Xctrl.h"
#include "ui/documents.h"
#include "ui/placement.h"

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
               {"save_s_files_shell", "Generate Sound File", "save_s_files", "*.wav",
                cb_save_s_ok, cb_save_s_cancel},
               {save_s_files_shell, save_s_files, save_s_filename});
  const compound_string mask = make_compound_string(working_directory() + "/*.wav");
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
  save_parameter_set(field_text(save_p_filename), save_p_files);
  XtUnmanageChild(save_p_files);
}

void cb_load_p_ok(Widget, XtPointer, XtPointer) {
  // A refused file keeps the dialog up, to choose another.
  if (open_parameter_set(field_text(load_p_filename), load_p_files)) XtUnmanageChild(load_p_files);
}

void cb_save_e_ok(Widget, XtPointer, XtPointer) {
  save_event_list_file(field_text(save_e_filename), save_e_files);
  XtUnmanageChild(save_e_files);
}

void cb_load_e_ok(Widget, XtPointer, XtPointer) {
  if (open_event_list(field_text(load_e_filename))) XtUnmanageChild(load_e_files);
}
