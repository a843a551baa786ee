#include "ui/question.h"

#include <Xm/MessageB.h>
#include <sys/stat.h>

#include <utility>

#include "ui/placement.h"
#include "ui/widgets.h"

Widget question_dialog = nullptr;

namespace {

std::function<void()> on_yes, on_no;

// The answer's action runs after the dialog is down, so that it may ask
// again.
void answered(std::function<void()>& chosen) {
  XtUnmanageChild(question_dialog);
  std::function<void()> act = std::move(chosen);
  on_yes = on_no = nullptr;
  if (act) act();
}

void cb_yes(Widget, XtPointer, XtPointer) { answered(on_yes); }
void cb_no(Widget, XtPointer, XtPointer) { answered(on_no); }

void build(Widget owner) {
  Widget top = owner;
  while (XtParent(top)) top = XtParent(top);
  question_dialog = XmCreateQuestionDialog(top, const_cast<char*>("question_dialog"), nullptr, 0);
  XtVaSetValues(XtParent(question_dialog), XmNtitle, "zelmora: Question", nullptr);
  XtVaSetValues(question_dialog, XmNdialogStyle, XmDIALOG_FULL_APPLICATION_MODAL,
                XmNautoUnmanage, False, nullptr);
  XtUnmanageChild(XmMessageBoxGetChild(question_dialog, XmDIALOG_HELP_BUTTON));
  XtAddCallback(question_dialog, XmNokCallback, cb_yes, nullptr);
  XtAddCallback(question_dialog, XmNcancelCallback, cb_no, nullptr);
  on_window_close(XtParent(question_dialog), cb_no);
}

}  // namespace

void ask(Widget owner, const std::string& question, answer yes, answer no) {
  if (!question_dialog) build(owner);
  on_yes = std::move(yes.act);
  on_no = std::move(no.act);
  const compound_string text = make_label(question.c_str());
  const compound_string yes_label = make_label(yes.label);
  const compound_string no_label = make_label(no.label);
  XtVaSetValues(question_dialog, XmNmessageString, text.get(), XmNokLabelString, yes_label.get(),
                XmNcancelLabelString, no_label.get(), nullptr);
  XtManageChild(question_dialog);
  place_beside(question_dialog, owner);
}

void confirm_replace(Widget owner, const std::string& path, std::function<void()> save) {
  struct stat status {};
  if (path.empty() || ::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
    save();
    return;
  }
  ask(owner, path + " exists.\nReplace it?", {"Replace", std::move(save)}, {"Cancel", nullptr});
}
