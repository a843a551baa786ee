#include "ui/placement.h"

#include <algorithm>

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
  if (!owner_shell || !shell || !XtIsRealized(owner_shell)) return;
  Position left = 0, top = 0;
  XtTranslateCoords(owner_shell, 0, 0, &left, &top);
  Dimension owner_width = 0, width = 0;
  XtVaGetValues(owner_shell, XmNwidth, &owner_width, nullptr);
  XtVaGetValues(shell, XmNwidth, &width, nullptr);
  if (width == 0) {  // not laid out yet: what it will ask for
    XtWidgetGeometry preferred{};
    XtQueryGeometry(XtIsShell(dialog) ? shell : dialog, nullptr, &preferred);
    width = preferred.width;
  }
  const int frame = frame_width(owner_shell);
  const int screen_width = WidthOfScreen(XtScreen(owner_shell));
  int x = left + owner_width + frame + gap;
  if (x + width > screen_width) x = std::max(0, left - static_cast<int>(width) - frame - gap);
  // A dialog's form would centre it over its parent otherwise.
  if (dialog != shell) XtVaSetValues(dialog, XmNdefaultPosition, False, nullptr);
  XtVaSetValues(shell, XmNx, static_cast<Position>(x), XmNy, top, nullptr);
}
