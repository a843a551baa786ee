#include "ui/widgets.h"

#include <Xm/DialogS.h>
#include <Xm/Form.h>
#include <Xm/Label.h>
#include <Xm/Protocols.h>
#include <Xm/Scale.h>
#include <Xm/ScrollBar.h>
#include <X11/IntrinsicP.h>
#include <X11/cursorfont.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>

void show_scale(Widget scale, int value) {
  int minimum = 0;
  int maximum = 0;
  XtVaGetValues(scale, XmNminimum, &minimum, XmNmaximum, &maximum, nullptr);
  const int shown = std::clamp(value, minimum, maximum);
  int current = 0;
  XmScaleGetValue(scale, &current);
  if (current != shown) XmScaleSetValue(scale, shown);
}

void show_scale_stretched(Widget scale, int value, int low, int high) {
  const int minimum = std::min(value, low);
  const int maximum = std::max(value, high);
  int old_minimum = 0;
  int old_maximum = 0;
  int current = 0;
  XtVaGetValues(scale, XmNminimum, &old_minimum, XmNmaximum, &old_maximum, XmNvalue, &current,
                nullptr);
  if (old_minimum == minimum && old_maximum == maximum && current == value) return;
  // All three at once: the scale never holds a value outside its range.
  XtVaSetValues(scale, XmNminimum, minimum, XmNmaximum, maximum, XmNvalue, value, nullptr);
}

namespace {

constexpr double fine_drag_ratio = 10.0;

struct fine_drag {
  Widget scale = nullptr;
  int from_value = 0;
  int from_pixel = 0;
  double steps_per_pixel = 0.0;
  bool upright = true;
};
fine_drag dragging;

int pointer_pixel(const XEvent* event, bool upright) {
  const int x = event->type == MotionNotify ? event->xmotion.x : event->xbutton.x;
  const int y = event->type == MotionNotify ? event->xmotion.y : event->xbutton.y;
  return upright ? -y : x;  // upward or rightward is more
}

void run_scale_callbacks(Widget scale, const char* list, int reason, XEvent* event, int value) {
  XmScaleCallbackStruct data{};
  data.reason = reason;
  data.event = event;
  data.value = value;
  XtCallCallbacks(scale, list, &data);
}

int dragged_value(const XEvent* event) {
  int minimum = 0, maximum = 0;
  XtVaGetValues(dragging.scale, XmNminimum, &minimum, XmNmaximum, &maximum, nullptr);
  const double moved = (pointer_pixel(event, dragging.upright) - dragging.from_pixel) *
                       dragging.steps_per_pixel;
  return std::clamp(dragging.from_value + static_cast<int>(std::lround(moved)), minimum, maximum);
}

void start_fine_drag(Widget bar, XEvent* event) {
  Widget scale = XtParent(bar);
  int minimum = 0, maximum = 0, value = 0;
  unsigned char orientation = XmVERTICAL;
  Dimension length = 0;
  XtVaGetValues(scale, XmNminimum, &minimum, XmNmaximum, &maximum, XmNvalue, &value,
                XmNorientation, &orientation, nullptr);
  dragging.upright = orientation == XmVERTICAL;
  XtVaGetValues(bar, dragging.upright ? XmNheight : XmNwidth, &length, nullptr);
  dragging = {scale, value, pointer_pixel(event, dragging.upright),
              (maximum - minimum) / std::max(1.0, static_cast<double>(length)) / fine_drag_ratio,
              dragging.upright};
}

// Ahead of the scale's scroll bar's own handling: with Shift or Ctrl,
// button 1 drags finely and the bar never sees the drag.
void cb_fine_drag(Widget bar, XtPointer, XEvent* event, Boolean* go_on) {
  Widget scale = XtParent(bar);
  const bool fine_press = event->type == ButtonPress && event->xbutton.button == Button1 &&
                          (event->xbutton.state & (ShiftMask | ControlMask)) != 0;
  if (fine_press) {
    start_fine_drag(bar, event);
  } else if (dragging.scale != scale || (event->type != MotionNotify && event->type != ButtonRelease)) {
    return;
  } else {
    const int value = dragged_value(event);
    XmScaleSetValue(scale, value);
    const bool let_go = event->type == ButtonRelease;
    run_scale_callbacks(scale, let_go ? XmNvalueChangedCallback : XmNdragCallback,
                        let_go ? XmCR_VALUE_CHANGED : XmCR_DRAG, event, value);
    if (let_go) dragging = {};
  }
  *go_on = False;
}

bool only_blanks_after(const char* end) {
  while (*end == ' ' || *end == '\t') ++end;
  return *end == '\0';
}

}  // namespace

Widget scroll_bar_of(Widget scale) {
  WidgetList children = nullptr;
  Cardinal count = 0;
  XtVaGetValues(scale, XmNchildren, &children, XmNnumChildren, &count, nullptr);
  for (Cardinal i = 0; i < count; ++i)
    if (XmIsScrollBar(children[i])) return children[i];
  return scale;
}

void take_fine_drag(Widget scale) {
  XtInsertEventHandler(scroll_bar_of(scale), ButtonPressMask | ButtonReleaseMask | Button1MotionMask,
                       False, cb_fine_drag, nullptr, XtListHead);
}

bool read_whole_number(const std::string& text, int& value) {
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || !only_blanks_after(end) || errno == ERANGE || number < INT_MIN ||
      number > INT_MAX)
    return false;
  value = static_cast<int>(number);
  return true;
}

bool read_real_number(const std::string& text, double& value) {
  char* end = nullptr;
  const double number = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || !only_blanks_after(end) || !std::isfinite(number)) return false;
  value = number;
  return true;
}

void for_each_widget(Widget w, const std::function<void(Widget)>& visit) {
  visit(w);
  if (!XtIsWidget(w)) return;  // a gadget has neither pop-ups nor children
  for (Cardinal i = 0; i < w->core.num_popups; ++i) for_each_widget(w->core.popup_list[i], visit);
  if (!XtIsComposite(w)) return;
  WidgetList children = nullptr;
  Cardinal count = 0;
  XtVaGetValues(w, XmNchildren, &children, XmNnumChildren, &count, nullptr);
  for (Cardinal i = 0; i < count; ++i) for_each_widget(children[i], visit);
}

namespace {

void for_each_window(Widget top, const std::function<void(Window)>& act) {
  for_each_widget(top, [&](Widget w) {
    if (XtIsShell(w) && XtIsRealized(w)) act(XtWindow(w));
  });
}

constexpr long input_events = KeyPressMask | KeyReleaseMask | ButtonPressMask |
                              ButtonReleaseMask | PointerMotionMask | ButtonMotionMask;

}  // namespace

busy_windows::busy_windows(Widget top) : top_(top) {
  Display* display = XtDisplay(top);
  const Cursor watch = XCreateFontCursor(display, XC_watch);
  for_each_window(top, [&](Window window) { XDefineCursor(display, window, watch); });
  // The windows keep the cursor; the name can go.
  XFreeCursor(display, watch);
  XFlush(display);
}

busy_windows::~busy_windows() {
  Display* display = XtDisplay(top_);
  for_each_window(top_, [&](Window window) { XUndefineCursor(display, window); });
  XSync(display, False);
  XEvent dropped;
  while (XCheckMaskEvent(display, input_events, &dropped)) {
  }
}

int column_right_of(std::initializer_list<Widget> labels, int gap) {
  int width = 0;
  Dimension margin = 0;
  for (Widget label : labels) {
    XtWidgetGeometry preferred{};
    XtQueryGeometry(label, nullptr, &preferred);
    width = std::max(width, static_cast<int>(preferred.width));
    XtVaGetValues(XtParent(label), XmNmarginWidth, &margin, nullptr);
  }
  // An explicit offset from the form's edge replaces its margin, which the
  // labels keep.
  return margin + width + gap;
}

void manage_all(std::initializer_list<Widget> widgets) {
  for (Widget w : widgets) XtManageChild(w);
}

void on_window_close(Widget shell, XtCallbackProc callback) {
  Atom delete_window =
      XmInternAtom(XtDisplay(shell), const_cast<char*>("WM_DELETE_WINDOW"), False);
  XtVaSetValues(shell, XmNdeleteResponse, XmDO_NOTHING, nullptr);
  XmAddWMProtocolCallback(shell, delete_window, callback, nullptr);
}

Widget make_dialog_shell(Widget parent, const char* name, const char* title) {
  return XtVaCreatePopupShell(name, xmDialogShellWidgetClass, parent, XmNtitle, title,
                              XmNallowShellResize, True, nullptr);
}

Widget make_top_form(Widget shell, const char* name, int margin) {
  return XtVaCreateWidget(name, xmFormWidgetClass, shell, XmNautoUnmanage, False,
                          XmNmarginWidth, margin, XmNmarginHeight, margin, nullptr);
}

Widget make_line_under(Widget form, Widget above, const char* name, const char* text) {
  const compound_string label = make_label(text);
  return XtVaCreateManagedWidget(
      name, xmLabelWidgetClass, form, XmNlabelString, label.get(), XmNalignment,
      XmALIGNMENT_BEGINNING, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, above,
      XmNtopOffset, 6, XmNleftAttachment, XmATTACH_FORM, XmNrightAttachment, XmATTACH_FORM,
      XmNrecomputeSize, False, nullptr);
}
