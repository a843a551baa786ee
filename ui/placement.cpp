#include "ui/placement.h"

#include <Xm/FileSB.h>

#include <algorithm>
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
  bool overlaps(const area& o) const {
    return left < o.left + o.width && o.left < left + width && top < o.top + o.height &&
           o.top < top + height;
  }
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

void place_beside(Widget dialog, Widget owner) {
  Widget owner_shell = shell_of(owner);
  Widget shell = shell_of(dialog);
  if (!owner_shell || !shell || !XtIsRealized(owner_shell) || !XtIsRealized(shell)) return;
  // Asked of the server: a window just moved may not have told the toolkit.
  const area by = on_screen(owner_shell);
  const area self = on_screen(shell);
  const int screen_width = WidthOfScreen(XtScreen(owner_shell));
  const int screen_height = HeightOfScreen(XtScreen(owner_shell));
  const std::vector<area> others = windows_shown(shell);
  // Right, left, below, above the owner; further down the right and the
  // left while those are taken; the first place free of every window
  // shown, else the first on the screen.
  std::vector<area> places;
  for (const int x : {by.left + by.width + gap, by.left - self.width - gap})
    places.push_back({x, by.top, self.width, self.height});
  places.push_back({by.left, by.top + by.height + gap, self.width, self.height});
  places.push_back({by.left, by.top - self.height - gap, self.width, self.height});
  for (int down = by.top + 40; down + self.height <= screen_height; down += 40)
    for (const int x : {by.left + by.width + gap, by.left - self.width - gap})
      places.push_back({x, down, self.width, self.height});
  const auto fits = [&](const area& a) {
    return a.left >= 0 && a.top >= 0 && a.left + a.width <= screen_width &&
           a.top + a.height <= screen_height;
  };
  const area* chosen = nullptr;
  for (const area& place : places) {
    if (!fits(place)) continue;
    if (!chosen) chosen = &place;
    if (std::none_of(others.begin(), others.end(), [&](const area& o) { return o.overlaps(place); })) {
      chosen = &place;
      break;
    }
  }
  const area place = chosen ? *chosen : places.front();
  // Moved as a window, once shown at its own size: setting a dialog
  // shell's position through the toolkit would also set a stale size.
  XMoveWindow(XtDisplay(shell), XtWindow(shell), std::max(place.left, 0), std::max(place.top, 0));
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
