#include "ui/placement.h"

#include <Xm/FileSB.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <vector>

#include "ui/widgets.h"

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

namespace {

struct area {
  int left, top, width, height;
};

// A shell's window on the screen, its window manager's frame included.
area on_screen(Widget shell) {
  Display* display = XtDisplay(shell);
  int left = 0, top = 0;
  Window child = 0;
  XTranslateCoordinates(display, XtWindow(shell), DefaultRootWindow(display), 0, 0, &left, &top,
                        &child);
  Dimension width = 0, height = 0;
  XtVaGetValues(shell, XmNwidth, &width, XmNheight, &height, nullptr);
  const int frame = frame_width(shell);
  return {left, top, width + frame, height + frame};
}

bool mapped(Widget shell) {
  XWindowAttributes attributes{};
  return XtIsRealized(shell) && XGetWindowAttributes(XtDisplay(shell), XtWindow(shell), &attributes) &&
         attributes.map_state == IsViewable;
}

// Every other window of the program now on the screen.
std::vector<area> windows_shown(Widget except) {
  Widget top = except;
  while (XtParent(top)) top = XtParent(top);
  std::vector<area> shown;
  for_each_widget(top, [&](Widget w) {
    if (XtIsShell(w) && w != except && mapped(w)) shown.push_back(on_screen(w));
  });
  return shown;
}

}  // namespace

namespace {

int overlap(const area& a, const area& b) {
  const int width = std::min(a.left + a.width, b.left + b.width) - std::max(a.left, b.left);
  const int height = std::min(a.top + a.height, b.top + b.height) - std::max(a.top, b.top);
  return width > 0 && height > 0 ? width * height : 0;
}

// Places level with or under the owner and the other windows, right or left
// of them or under them.
std::vector<area> places_around(const area& by, const area& self, const std::vector<area>& others) {
  std::vector<int> lefts{by.left + by.width + gap, by.left - self.width - gap, by.left};
  std::vector<int> tops{by.top, by.top + by.height + gap};
  for (const area& o : others) {
    lefts.push_back(o.left + o.width + gap);
    tops.push_back(o.top);
    tops.push_back(o.top + o.height + gap);
  }
  std::vector<area> places;
  for (const int top : tops)
    for (const int left : lefts) places.push_back({left, top, self.width, self.height});
  return places;
}

}  // namespace

void place_beside(Widget dialog, Widget owner) {
  Widget owner_shell = shell_of(owner);
  Widget shell = shell_of(dialog);
  if (!owner_shell || !shell || !XtIsRealized(owner_shell) || !XtIsRealized(shell)) return;
  // Asked of the server: a window just moved may not have told the toolkit.
  const area by = on_screen(owner_shell);
  const area self = on_screen(shell);
  const area screen{0, 0, WidthOfScreen(XtScreen(owner_shell)), HeightOfScreen(XtScreen(owner_shell))};
  const std::vector<area> others = windows_shown(shell);
  // Of the places on the screen, the one covering least of the windows
  // shown (none, if it can), then the nearest to the owner's right; there
  // when nothing fits.
  const area right{by.left + by.width + gap, by.top, self.width, self.height};
  area chosen = right;
  long best = -1;
  for (const area& place : places_around(by, self, others)) {
    if (overlap(place, screen) != place.width * place.height) continue;
    long covered = 0;
    for (const area& o : others) covered += overlap(place, o);
    const long distance = std::abs(place.left - right.left) + std::abs(place.top - right.top);
    const long cost = covered * 100000 + distance;
    if (best < 0 || cost < best) best = cost, chosen = place;
  }
  // Moved as a window, once shown at its own size: setting a dialog
  // shell's position through the toolkit would also set a stale size.
  XMoveWindow(XtDisplay(shell), XtWindow(shell), std::max(chosen.left, 0), std::max(chosen.top, 0));
}

void open_beside(Widget form, Widget owner) {
  XtManageChild(form);
  // Shells are realized early, so what was placed is remembered here.
  static std::set<Widget> placed;
  if (placed.insert(form).second) place_beside(form, owner);
}

void open_file_dialog(Widget box, Widget owner) {
  // Its Help button has no help to give.
  XtUnmanageChild(XmFileSelectionBoxGetChild(box, XmDIALOG_HELP_BUTTON));
  if (!XtIsManaged(box)) XmFileSelectionDoSearch(box, nullptr);
  open_beside(box, owner);
}
