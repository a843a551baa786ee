#include "ui/tuning_controls.h"

#include <Xm/DialogS.h>
#include <Xm/FileSB.h>
#include <Xm/Label.h>
#include <Xm/PushB.h>
#include <Xm/ToggleB.h>

#include <string>

#include "engine/engine.h"
#include "engine/mapping/retune.h"
#include "engine/mapping/tuning.h"
#include "engine/report.h"
#include "files/tuning_file.h"
#include "ui/Xfreq.h"
#include "ui/messages.h"
#include "ui/placement.h"
#include "ui/undo.h"
#include "ui/widgets.h"

namespace {

Widget quantize_toggle = nullptr;
Widget note_label = nullptr;
Widget scale_box = nullptr;

void cb_quantize(Widget, XtPointer, XtPointer call_data) {
  tuning_of(default_engine()).quantize =
      static_cast<XmToggleButtonCallbackStruct*>(call_data)->set != 0;
}

void cb_open_scale_dialog(Widget, XtPointer, XtPointer) { open_file_dialog(scale_box, states); }

void cb_scale_cancel(Widget, XtPointer, XtPointer) { XtUnmanageChild(scale_box); }

// A refused file keeps the dialog up, and the states as they were.
void cb_scale_ok(Widget, XtPointer, XtPointer) {
  const std::string path = field_text(XmFileSelectionBoxGetChild(scale_box, XmDIALOG_TEXT));
  tuning_source source;
  std::string error;
  if (!read_tuning_file(path, source, error)) {
    report_error("%s\n", error.c_str());
    return;
  }
  retune_report report;
  {
    const undoable_change change("Load Scale");
    if (!retune_states(default_engine(), source, report)) {
      report_error("Scale refused: %s\n", report.refused.c_str());
      return;
    }
  }
  set_all_frequencies();
  const std::string notes = retune_notes(report);
  if (!notes.empty()) std::fprintf(stderr, "%s\n", notes.c_str());
  show_notice(notes.empty() ? "States tuned to " + path : notes);
  XtUnmanageChild(scale_box);
}

void build_scale_dialog(Widget parent) {
  Widget shell = XtVaCreatePopupShell("load_scale_shell", xmDialogShellWidgetClass, parent,
                                      XmNtitle, "Load Scale", nullptr);
  // Scales and keyboard mappings both, and little else.
  const compound_string pattern = make_compound_string("*.[sk][cb][lm]");
  Arg args[2];
  XtSetArg(args[0], XmNpattern, pattern.get());
  XtSetArg(args[1], XmNautoUnmanage, False);
  scale_box = XmCreateFileSelectionBox(shell, const_cast<char*>("load_scale_files"), args, 2);
  XtAddCallback(XmFileSelectionBoxGetChild(scale_box, XmDIALOG_OK_BUTTON), XmNactivateCallback,
                cb_scale_ok, nullptr);
  XtAddCallback(XmFileSelectionBoxGetChild(scale_box, XmDIALOG_CANCEL_BUTTON),
                XmNactivateCallback, cb_scale_cancel, nullptr);
  on_window_close(shell, cb_scale_cancel);
}

}  // namespace

void build_quantize_toggle(Widget form, Widget beside) {
  const compound_string label = make_label("Quantize");
  quantize_toggle = XtVaCreateManagedWidget(
      "quantize", xmToggleButtonWidgetClass, form, XmNlabelString, label.get(),
      XmNleftAttachment, XmATTACH_WIDGET, XmNleftWidget, beside, XmNleftOffset, 4,
      XmNtopAttachment, XmATTACH_OPPOSITE_WIDGET, XmNtopWidget, beside, XmNbottomAttachment,
      XmATTACH_OPPOSITE_WIDGET, XmNbottomWidget, beside, nullptr);
  XtAddCallback(quantize_toggle, XmNvalueChangedCallback, cb_quantize, nullptr);
}

void show_quantize() {
  if (quantize_toggle)
    XmToggleButtonSetState(quantize_toggle, tuning_of(default_engine()).quantize, False);
}

void build_scale_parts(Widget side_form, Widget field, Widget below_field, Widget last_button) {
  note_label = XtVaCreateManagedWidget(
      "note_name", xmLabelWidgetClass, side_form, XmNalignment, XmALIGNMENT_BEGINNING,
      XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, field, XmNleftAttachment, XmATTACH_FORM,
      XmNrightAttachment, XmATTACH_FORM, nullptr);
  set_label(note_label, " ");
  XtVaSetValues(below_field, XmNtopWidget, note_label, nullptr);
  Widget load = make_labelled(xmPushButtonWidgetClass, side_form, "load_scale", "Load Scale...");
  XtVaSetValues(load, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, last_button, XmNtopOffset,
                3, XmNleftAttachment, XmATTACH_OPPOSITE_WIDGET, XmNleftWidget, last_button,
                XmNrightAttachment, XmATTACH_FORM, nullptr);
  XtAddCallback(load, XmNactivateCallback, cb_open_scale_dialog, nullptr);
  XtManageChild(load);
  build_scale_dialog(XtParent(XtParent(side_form)));
}

void show_note_of(double hz) {
  if (!note_label) return;
  const tuning& t = tuning_of(default_engine());
  set_label(note_label, hz > 0.0 ? note_name(t.tones.get(), hz).c_str() : " ");
}
