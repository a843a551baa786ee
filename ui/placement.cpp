#include "ui/placement.h"

#include <Xm/FileSB.h>

#include <algorithm>
#include <set>

namespace {

constexpr int gap = 8;  // pixels between the two windows' frames

Widget shell_of(Widget w) {
  while (w && !XtIsShell(w)) w = XtParent(w);
  return w;
}

// Room a window manager adds around a window (title bar and frame), as
// far as a shell can tell: its window's place in its parent.
int frame_width(Widget shell) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(XtDisplay(shell), XtWindow(shell), &root, &parent, &children, &count)) return 0;
  if (children) XFree(children);
  if (parent == root) return 0;
  XWindowAttributes frame{};
  XGetWindowAttributes(XtDisplay(shell), parent, &frame);
  Dimension width = 0;
  XtVaGetValues(shell, XmNwidth, &width, nullptr);
  return std::max(0, frame.width - static_cast<int>(width));
}

}  // namespace

void place_beside(Widget dialog, Widget owner) {
  Widget owner_shell = shell_of(owner);
  Widget shell = shell_of(dialog);
  if (!owner_shell || !shell || !XtIsRealized(owner_shell) || !XtIsRealized(shell)) return;
  // Asked of the server: a window just moved may not have told the toolkit.
  Display* display = XtDisplay(shell);
  int left = 0, top = 0;
  Window child = 0;
  XTranslateCoordinates(display, XtWindow(owner_shell), DefaultRootWindow(display), 0, 0, &left,
                        &top, &child);
  Dimension owner_width = 0, owner_height = 0, width = 0;
  XtVaGetValues(owner_shell, XmNwidth, &owner_width, XmNheight, &owner_height, nullptr);
  XtVaGetValues(shell, XmNwidth, &width, nullptr);
  const int frame = frame_width(owner_shell);
  const int screen_width = WidthOfScreen(XtScreen(owner_shell));
  // To the right; else to the left; else below.
  int x = left + owner_width + frame + gap;
  int y = top;
  if (x + width > screen_width) {
    x = left - static_cast<int>(width) - frame - gap;
    if (x < 0) {
      x = left;
      y = top + owner_height + frame + gap;
    }
  }
  // Moved as a window, once shown at its own size: setting a dialog
  // shell's position through the toolkit would also set a stale size.
  XMoveWindow(display, XtWindow(shell), x, y);
}

void open_beside(Widget form, Widget owner) {
  XtManageChild(form);
  // Shells are realized early, so what was placed is remembered here.
  static std::set<Widget> placed;
  if (placed.insert(form).second) place_beside(form, owner);
}

void open_file_dialog(Widget box, Widget owner) {
  if (!XtIsManaged(box)) XmFileSelectionDoSearch(box, nullptr);
  open_beside(box, owner);
}
