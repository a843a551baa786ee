#include "ui/window_keys.h"

#include "ui/Xlive.h"
#include "ui/undo.h"
#include "ui/widgets.h"

namespace {

void act_undo(Widget, XEvent*, String*, Cardinal*) { undo_change(); }
void act_redo(Widget, XEvent*, String*, Cardinal*) { redo_change(); }
void act_play_or_stop(Widget, XEvent*, String*, Cardinal*) {
  cb_play_or_stop(nullptr, nullptr, nullptr);
}

}  // namespace

void take_window_keys(Widget top) {
  static XtActionsRec actions[] = {{const_cast<char*>("undo-change"), act_undo},
                                   {const_cast<char*>("redo-change"), act_redo},
                                   {const_cast<char*>("play-or-stop"), act_play_or_stop}};
  static bool added = false;
  if (!added) {
    XtAppAddActions(XtWidgetToApplicationContext(top), actions, XtNumber(actions));
    added = true;
  }
  static XtTranslations keys = XtParseTranslationTable(
      "Ctrl Shift<Key>z: redo-change()\nCtrl ~Shift<Key>z: undo-change()\n"
      "Ctrl<Key>p: play-or-stop()\n");
  for_each_widget(top, [](Widget w) {
    if (XtIsWidget(w) && !XtIsShell(w)) XtOverrideTranslations(w, keys);
  });
}
