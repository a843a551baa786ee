#include "ui/slider_window.h"

#include <Xm/DialogS.h>
#include <Xm/Form.h>
#include <Xm/Label.h>
#include <Xm/LabelG.h>
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>
#include <Xm/Scale.h>
#include <Xm/ScrolledW.h>
#include <Xm/TextF.h>
#include <Xm/ToggleB.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/numeric.h"
#include "ui/placement.h"
#include "ui/undo.h"
#include "ui/window_keys.h"
#include "ui/widgets.h"

namespace {

constexpr int row_height = 182;  // the sliders' row without a scroll bar
constexpr int min_slider_width = 16;  // a trough and a thumb a pointer can take
constexpr int widest_trough = 30;
constexpr int side_gap = 12;  // between the row and the side panel
constexpr int display_columns = 15;
constexpr int lock_offset = 10;  // gap between the field and "Lock"
constexpr int usual_minimum = 0;
constexpr int usual_maximum = 100;
// A range this wide already puts any sensible position at one end; the
// toolkit's own arithmetic on a much wider one could overflow an int.
constexpr int widest_position = 1'000'000;

Widget make_button(Widget parent, const char* name, const char* text) {
  return make_labelled(xmPushButtonWidgetClass, parent, name, text);
}

Widget make_text_label(Widget parent, const char* name, const char* text) {
  return make_labelled(xmLabelWidgetClass, parent, name, text);
}

// The side panel: caption, field, then Lock with the three buttons stacked
// under it at its left edge.
void build_side_panel(slider_window& window, const slider_window_names& names) {
  Widget side = window.side_form;
  Widget caption = make_text_label(side, names.caption_label, names.caption);
  XtVaSetValues(caption, XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM,
                nullptr);
  Widget entry_label = window.readout->entry_label =
      make_text_label(side, "entry_label", "(no slider chosen)");
  XtVaSetValues(entry_label, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, caption,
                XmNleftAttachment, XmATTACH_FORM, XmNrightAttachment, XmATTACH_FORM,
                XmNalignment, XmALIGNMENT_BEGINNING, XmNrecomputeSize, False, nullptr);
  window.display = XtVaCreateWidget(
      names.display, xmTextFieldWidgetClass, side, XmNcolumns, display_columns,
      XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, entry_label, XmNleftAttachment,
      XmATTACH_FORM, XmNrightAttachment, XmATTACH_FORM, nullptr);

  const compound_string lock_label = make_label("Lock");
  window.lock = XtVaCreateWidget(names.lock, xmToggleButtonWidgetClass, side, XmNlabelString,
                                 lock_label.get(), XmNtopAttachment, XmATTACH_WIDGET,
                                 XmNtopWidget, window.display, XmNtopOffset, lock_offset,
                                 XmNleftAttachment, XmATTACH_FORM, nullptr);
  window.auto_set = make_button(side, names.auto_set, "Auto-set");
  window.quit = make_button(side, names.quit, "Close");
  window.reset = make_button(side, names.reset, "Reset");
  Widget above = window.lock;
  for (Widget button : {window.auto_set, window.quit, window.reset}) {
    XtVaSetValues(button, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, above,
                  XmNtopOffset, 3, XmNleftAttachment, XmATTACH_OPPOSITE_WIDGET,
                  XmNleftWidget, window.lock, XmNrightAttachment, XmATTACH_FORM, nullptr);
    above = button;
  }
  manage_all({caption, entry_label, window.display, window.lock, window.auto_set, window.quit,
              window.reset});
}

int index_of(Widget slider) {
  XtPointer index = nullptr;
  XtVaGetValues(slider, XmNuserData, &index, nullptr);
  return static_cast<int>(reinterpret_cast<std::intptr_t>(index));
}

void label_entry(slider_readout& readout, int i) {
  readout.shown_entry = i;
  const std::string text = i < 0 ? "(no slider chosen)" : readout.entry_word + (" " + std::to_string(i));
  set_label(readout.entry_label, text.c_str());
}

// A slider pressed (on its scroll bar) or given the keyboard focus: the
// field shows its entry.
void show_touched_entry(Widget w, XtPointer client_data, XEvent* event, Boolean*) {
  // The X server also tells the window under the pointer of the focus
  // (NotifyPointer): only a focus given to the slider counts.
  const bool focused = event->type == FocusIn && event->xfocus.detail != NotifyPointer &&
                       event->xfocus.detail != NotifyPointerRoot &&
                       event->xfocus.detail != NotifyDetailNone;
  if (event->type != ButtonPress && !focused) return;
  Widget slider = XmIsScale(w) ? w : XtParent(w);
  auto& readout = *static_cast<slider_readout*>(client_data);
  label_entry(readout, index_of(slider));
  show_text(*readout.display, readout.format(readout.entries[readout.shown_entry]));
}

// A slider is being dragged: the field shows where it is, nothing is stored.
void show_dragged_value(Widget slider, XtPointer client_data, XtPointer call_data) {
  auto& readout = *static_cast<slider_readout*>(client_data);
  const int value = static_cast<XmScaleCallbackStruct*>(call_data)->value;
  label_entry(readout, index_of(slider));
  show_text(*readout.display,
            readout.format(static_cast<double>(value) / readout.steps_per_position));
}

// A slot of the row: the slider, its number centred beneath it.
Widget make_slot(Widget holder, const std::string& number, const char* prefix) {
  // The slot keeps the width the row gives it (fit_sliders_to_row).
  Widget slot = XtVaCreateWidget("slot", xmFormWidgetClass, holder, XmNresizePolicy,
                                 XmRESIZE_NONE, XmNwidth, min_slider_width, nullptr);
  const compound_string text = make_label(number.c_str());
  // Without margins the widest number is no wider than its slider.
  Widget label = XtVaCreateManagedWidget(
      "slider_number", xmLabelGadgetClass, slot, XmNlabelString, text.get(), XmNalignment,
      XmALIGNMENT_CENTER, XmNmarginWidth, 0, XmNmarginHeight, 0, XmNleftAttachment,
      XmATTACH_FORM, XmNrightAttachment, XmATTACH_FORM, XmNbottomAttachment, XmATTACH_FORM,
      nullptr);
  // Otherwise the toolkit's defaults: 0 to 100, value not shown, upright.
  XtVaCreateManagedWidget((prefix + number).c_str(), xmScaleWidgetClass, slot,
                          XmNtopAttachment, XmATTACH_FORM, XmNbottomAttachment,
                          XmATTACH_WIDGET, XmNbottomWidget, label, XmNleftAttachment,
                          XmATTACH_FORM, XmNrightAttachment, XmATTACH_FORM, nullptr);
  return slot;
}

void make_sliders(Widget holder, const char* prefix, slider_row& sliders,
                  XtCallbackProc on_slider, slider_readout& readout) {
  slider_readout* readout_data = &readout;
  for (std::size_t i = 0; i < sliders.size(); ++i) {
    const std::string number = std::to_string(i);
    Widget slot = make_slot(holder, number, prefix);
    sliders[i] = XtNameToWidget(slot, (prefix + number).c_str());
    const auto index = reinterpret_cast<XtPointer>(static_cast<std::intptr_t>(i));
    XtVaSetValues(sliders[i], XmNuserData, index, nullptr);
    XtAddCallback(sliders[i], XmNvalueChangedCallback, on_slider, index);
    XtAddCallback(sliders[i], XmNdragCallback, show_dragged_value, readout_data);
    XtAddEventHandler(sliders[i], FocusChangeMask, False, show_touched_entry, readout_data);
    XtAddEventHandler(scroll_bar_of(sliders[i]), ButtonPressMask, False, show_touched_entry,
                      readout_data);
    take_fine_drag(sliders[i]);
  }
}

// The width the holder asks for with the first `count` slots shown.
int row_width(Widget holder, slider_row& slots, int count) {
  XtManageChildren(slots.data(), static_cast<Cardinal>(count));
  XtWidgetGeometry preferred{};
  XtQueryGeometry(holder, nullptr, &preferred);
  XtUnmanageChildren(slots.data(), static_cast<Cardinal>(count));
  return preferred.width;
}

// What the scrolled window keeps between its edge and the row, on each
// side: its shadow and the scroll bars' highlight.
int frame_of(Widget scroller) {
  Dimension shadow = 0;
  Dimension highlight = 0;
  Widget bar = nullptr;
  XtVaGetValues(scroller, XmNshadowThickness, &shadow, XmNhorizontalScrollBar, &bar, nullptr);
  XtVaGetValues(bar, XmNhighlightThickness, &highlight, nullptr);
  return shadow + highlight;
}

// Room for the row, and for the scroll bar when the sliders in use are
// wider than the row's visible width.
void fit_scroller(Widget scroller, Widget holder) {
  Dimension width = 0;
  Dimension height = 0;
  Dimension spacing = 0;
  Widget bar = nullptr;
  XtVaGetValues(scroller, XmNwidth, &width, XmNheight, &height, XmNspacing, &spacing,
                XmNhorizontalScrollBar, &bar, nullptr);
  Dimension bar_height = 0;
  XtVaGetValues(bar, XmNheight, &bar_height, nullptr);
  XtWidgetGeometry preferred{};
  XtQueryGeometry(holder, nullptr, &preferred);
  const bool scrolled = preferred.width > width - 2 * frame_of(scroller);
  const int wanted = scrolled ? row_height + spacing + bar_height : row_height;
  if (wanted != height) XtVaSetValues(scroller, XmNheight, wanted, nullptr);
}

int sliders_shown(const slider_row& sliders) {
  int count = 0;
  while (count < slider_count && XtIsManaged(XtParent(sliders[count]))) ++count;
  return count;
}

// The sliders share the row's visible width, none narrower than a grip:
// few sliders are wide ones, and a wider window widens them.
void fit_sliders_to_row(const slider_row& sliders, Widget scroller) {
  const int count = sliders_shown(sliders);
  if (count == 0) return;
  Widget clip = nullptr;
  XtVaGetValues(scroller, XmNclipWindow, &clip, nullptr);
  Widget holder = XtParent(XtParent(sliders[0]));
  Dimension clip_width = 0, margin = 0, spacing = 0;
  XtVaGetValues(clip, XmNwidth, &clip_width, nullptr);
  XtVaGetValues(holder, XmNmarginWidth, &margin, XmNspacing, &spacing, nullptr);
  const int room = clip_width - 2 * margin - spacing * (count - 1);
  const int width = std::max(min_slider_width, room / count);
  Dimension shown_width = 0;
  XtVaGetValues(XtParent(sliders[0]), XmNwidth, &shown_width, nullptr);
  if (shown_width == width) return;
  // Past a comfortable trough the slot widens around it, centred.
  const int trough = std::min(width, widest_trough);
  const int side = (width - trough) / 2;
  for (Widget slider : sliders) {
    XtVaSetValues(XtParent(slider), XmNwidth, width, nullptr);
    XtVaSetValues(slider, XmNscaleWidth, trough, XmNleftOffset, side, XmNrightOffset,
                  width - trough - side, nullptr);
  }
}

// The window was resized: the row takes the width, the side panel keeps
// what it needs. The scrolled row is sized here rather than attached to the
// panel, since an attached one would grow the window to hold every slider.
void cb_window_resized(Widget form, XtPointer, XEvent* event, Boolean*) {
  if (event->type != ConfigureNotify) return;
  WidgetList children = nullptr;
  Cardinal count = 0;
  XtVaGetValues(form, XmNchildren, &children, XmNnumChildren, &count, nullptr);
  if (count < 2) return;
  Widget scroller = children[0], side = children[1];
  Dimension form_width = 0, margin = 0, scroller_width = 0;
  XtVaGetValues(form, XmNwidth, &form_width, XmNmarginWidth, &margin, nullptr);
  XtVaGetValues(scroller, XmNwidth, &scroller_width, nullptr);
  XtWidgetGeometry side_wants{};
  XtQueryGeometry(side, nullptr, &side_wants);
  const int width = form_width - 2 * margin - side_gap - side_wants.width;
  if (width > 0 && width != scroller_width) XtVaSetValues(scroller, XmNwidth, width, nullptr);
}

void cb_row_resized(Widget, XtPointer client_data, XEvent* event, Boolean*) {
  if (event->type != ConfigureNotify) return;
  const auto& sliders = *static_cast<const slider_row*>(client_data);
  fit_sliders_to_row(sliders, XtParent(XtParent(XtParent(XtParent(sliders[0])))));
}

}  // namespace

slider_window build_slider_window(Widget parent, const slider_window_names& names,
                                  slider_row& sliders, XtCallbackProc on_slider,
                                  slider_readout& readout, int visible, int width) {
  slider_window window{};
  window.sliders = &sliders;
  window.readout = &readout;
  readout.entry_word = names.entry_word;
  window.ranges.fill({usual_minimum * readout.steps_per_position,
                      usual_maximum * readout.steps_per_position});
  window.shell = make_dialog_shell(parent, names.shell, names.title);
  window.form = make_top_form(window.shell, names.form, 8);

  window.scroller = XtVaCreateWidget(
      names.scroller, xmScrolledWindowWidgetClass, window.form, XmNscrollingPolicy,
      XmAUTOMATIC, XmNscrollBarDisplayPolicy, XmAS_NEEDED, XmNshadowThickness, 0,
      XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM, nullptr);
  const int frame = 2 * frame_of(window.scroller);
  window.holder = XtVaCreateWidget(names.holder, xmRowColumnWidgetClass, window.scroller,
                                   XmNorientation, XmHORIZONTAL, XmNpacking, XmPACK_COLUMN,
                                   XmNheight, row_height - frame, XmNresizeHeight, False,
                                   nullptr);
  make_sliders(window.holder, names.slider_prefix, sliders, on_slider, readout);
  for (Widget slider : sliders) {
    int click = 0;  // what the resources gave, or the toolkit's tenth of 0 .. 100
    XtVaGetValues(slider, XmNscaleMultiple, &click, nullptr);
    if (readout.steps_per_click > 0 && click == usual_maximum / 10) click = readout.steps_per_click;
    XtVaSetValues(slider, XmNmaximum, usual_maximum * readout.steps_per_position,
                  XmNscaleMultiple, click, nullptr);
  }
  std::transform(sliders.begin(), sliders.end(), window.slots.begin(), XtParent);
  const int visible_width =
      std::max(row_width(window.holder, window.slots, visible) + frame, width);
  XtVaSetValues(window.scroller, XmNwidth, visible_width, XmNheight, row_height, nullptr);

  window.side_form = XtVaCreateWidget(
      names.side_form, xmFormWidgetClass, window.form, XmNtopAttachment,
      XmATTACH_OPPOSITE_WIDGET, XmNtopWidget, window.scroller, XmNleftAttachment,
      XmATTACH_WIDGET, XmNleftWidget, window.scroller, XmNleftOffset, side_gap,
      XmNrightAttachment, XmATTACH_FORM, XmNbottomAttachment, XmATTACH_FORM, nullptr);
  build_side_panel(window, names);
  manage_all({window.holder, window.scroller, window.side_form});
  XtAddEventHandler(window.form, StructureNotifyMask, False, cb_window_resized, nullptr);
  Widget clip = nullptr;
  XtVaGetValues(window.scroller, XmNclipWindow, &clip, nullptr);
  XtAddEventHandler(clip, StructureNotifyMask, False, cb_row_resized, &sliders);
  take_window_keys(window.form);
  return window;
}

int shown_value(const slider_window& window, float position) {
  const int steps = window.readout->steps_per_position;
  const double value = static_cast<double>(position) * steps;
  // The nearest step: 59.99999 is shown as the 60 it was stored for.
  const double shown = std::round(value);
  return static_cast<int>(std::clamp(shown, -double{widest_position}, double{widest_position}));
}

double position_of(const slider_window& window, int value) {
  return static_cast<double>(value) / window.readout->steps_per_position;
}

void show_position(slider_window& window, int i, float position) {
  const int value = shown_value(window, position);
  const int steps = window.readout->steps_per_position;
  const scale_range range{std::min(value, usual_minimum * steps),
                          std::max(value, usual_maximum * steps)};
  Widget slider = (*window.sliders)[static_cast<std::size_t>(i)];
  scale_range& shown_range = window.ranges[static_cast<std::size_t>(i)];
  int shown = 0;
  XmScaleGetValue(slider, &shown);
  if (shown_range == range) {
    if (shown != value) XmScaleSetValue(slider, value);
    return;
  }
  XtVaSetValues(slider, XmNminimum, range.minimum, XmNmaximum, range.maximum, XmNvalue, value,
                nullptr);
  shown_range = range;
}

void show_entry(slider_window& window, int i) {
  slider_readout& readout = *window.readout;
  label_entry(readout, i);
  show_text(*readout.display, readout.format(readout.entries[i]));
}

void show_sliders(slider_window& window, int count, std::span<const float> entries) {
  count = std::clamp(count, 0, slider_count);
  for (int i = 0; i < count; ++i) show_position(window, i, entries[i]);
  slider_readout& readout = *window.readout;
  if (readout.shown_entry >= count) {  // its slider is gone
    label_entry(readout, -1);
    show_text(*readout.display, "");
  } else if (readout.shown_entry >= 0) {
    show_entry(window, readout.shown_entry);
  }
  slider_row& slots = window.slots;
  int shown = 0;
  while (shown < slider_count && XtIsManaged(slots[shown])) ++shown;
  if (shown == count) return;
  if (count > shown)
    XtManageChildren(&slots[shown], static_cast<Cardinal>(count - shown));
  else
    XtUnmanageChildren(&slots[count], static_cast<Cardinal>(shown - count));
  fit_sliders_to_row(*window.sliders, window.scroller);
  fit_scroller(window.scroller, window.holder);
}
