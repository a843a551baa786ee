// The Automaton window: the grid each iteration's notes come from, one
// colour per state (engine/render/palette.h), scaled to the window by nearest
// neighbour with its aspect kept, optionally with the n x n block
// boundaries that become the instruments.
#include <Xm/DrawingA.h>
#include <Xm/Form.h>
#include <Xm/ToggleB.h>
#include <X11/Shell.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/automaton/automaton.h"
#include "engine/externs.h"
#include "engine/mapping/mapping.h"
#include "engine/render/palette.h"
#include "ui/Xctrl.h"
#include "ui/Xlive.h"
#include "ui/placement.h"
#include "ui/widgets.h"

Widget automaton_shell, automaton_area, automaton_blocks;

namespace {

constexpr std::chrono::milliseconds frame_interval{33};  // about 30 a second
constexpr int initial_side = 400;

// The grid last shown: x rows of y states.
struct shown_grid {
  int x = 0;
  int y = 0;
  int Ns = 1;
  int noinstrm = 0;
  std::vector<std::int32_t> cells;
};
shown_grid shown;
std::chrono::steady_clock::time_point last_frame;
// The grid of the latest iteration when the throttle (or a hidden window)
// left it undrawn: the render's last grid must not stay unseen.
const grid_type* undrawn = nullptr;
bool popped_up = false;

// The shown grid takes the current set's extent, states and blocks.
void take_shape_of_current_set() {
  const parameters_type& p = Current_State;
  shown.x = clamp_extent(p.x);
  shown.y = clamp_extent(p.y);
  shown.Ns = p.Ns;
  shown.noinstrm = p.noinstrm;
  shown.cells.resize(static_cast<std::size_t>(shown.x) * shown.y);
}

void keep(const grid_type& grid) {
  take_shape_of_current_set();
  for (int r = 0; r < shown.x; ++r)
    std::copy_n(&grid[r + 1][1], shown.y, &shown.cells[static_cast<std::size_t>(r) * shown.y]);
}

// A grid seeded as a render would seed it, from a generator of its own so
// the renders' random sequence is untouched.
void seed_preview() {
  static std::minstd_rand generator;
  take_shape_of_current_set();
  const auto states = static_cast<unsigned>(std::max(shown.Ns, 1));
  for (auto& cell : shown.cells) cell = static_cast<std::int32_t>(generator() % states);
}

unsigned long channel(std::uint8_t value, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1u) == 0) ++shift;
  const unsigned long top = mask >> shift;
  return ((value * top + 127) / 255) << shift;
}

unsigned long pixel_of(const Visual* visual, rgb_colour c) {
  return channel(c.red, visual->red_mask) | channel(c.green, visual->green_mask) |
         channel(c.blue, visual->blue_mask);
}

int native_byte_order() {
  const std::uint32_t one = 1;
  return *reinterpret_cast<const unsigned char*>(&one) == 1 ? LSBFirst : MSBFirst;
}

bool on_block_boundary(int cell, int block, int n) {
  return block > 0 && cell % block == 0 && cell / block <= n && cell > 0;
}

// How the grid lies in the window: a real scale with the aspect kept
// (whole pixels per cell would waste the window), the picture centred.
struct picture_layout {
  double scale = 1.0;
  int width = 1;
  int height = 1;
  int block_rows = 0;     // rows per block when the overlay is on, else 0
  int block_columns = 0;  // columns per block
  int blocks = 0;         // blocks per side
};

picture_layout layout_in(Dimension width, Dimension height) {
  picture_layout l;
  l.scale = std::min(static_cast<double>(width) / shown.y, static_cast<double>(height) / shown.x);
  l.width = std::max(1, static_cast<int>(shown.y * l.scale));
  l.height = std::max(1, static_cast<int>(shown.x * l.scale));
  if (XmToggleButtonGetState(automaton_blocks) != 0) {
    l.blocks = blocks_per_side(std::min(shown.noinstrm, max_instruments));
    l.block_rows = l.blocks > 0 ? shown.x / l.blocks : 0;
    l.block_columns = l.blocks > 0 ? shown.y / l.blocks : 0;
  }
  return l;
}

// Nearest neighbour: each pixel takes the cell under its top-left corner;
// the first pixel row and column of a block's first cells are boundary.
void paint(XImage* image, const picture_layout& l, const std::vector<unsigned long>& palette,
           unsigned long boundary) {
  // 32-bit pixels in this machine's byte order are stored straight away;
  // any other layout goes through Xlib, one pixel at a time.
  const bool direct = image->bits_per_pixel == 32 && image->byte_order == native_byte_order();
  std::vector<int> column_of(l.width);
  for (int px = 0; px < l.width; ++px)
    column_of[px] = std::min(shown.y - 1, static_cast<int>(px / l.scale));
  const int last_state = static_cast<int>(palette.size()) - 1;
  int previous_row = -1;
  for (int py = 0; py < l.height; ++py) {
    const int r = std::min(shown.x - 1, static_cast<int>(py / l.scale));
    const std::int32_t* row = &shown.cells[static_cast<std::size_t>(r) * shown.y];
    auto* pixels = reinterpret_cast<std::uint32_t*>(
        image->data + static_cast<std::ptrdiff_t>(py) * image->bytes_per_line);
    const bool row_edge = r != previous_row && on_block_boundary(r, l.block_rows, l.blocks);
    previous_row = r;
    for (int px = 0; px < l.width; ++px) {
      const int c = column_of[px];
      const bool column_edge = px > 0 && column_of[px - 1] != c &&
                               on_block_boundary(c, l.block_columns, l.blocks);
      const unsigned long pixel = (row_edge || column_edge)
                                      ? boundary
                                      : palette[std::clamp(row[c], 0, last_state)];
      if (direct)
        pixels[px] = static_cast<std::uint32_t>(pixel);
      else
        XPutPixel(image, px, py, pixel);
    }
  }
}

void draw() {
  if (!XtIsRealized(automaton_area) || shown.cells.empty()) return;
  Dimension width = 0, height = 0;
  int depth = 0;
  XtVaGetValues(automaton_area, XmNwidth, &width, XmNheight, &height, XmNdepth, &depth, nullptr);
  if (width == 0 || height == 0) return;
  Display* dpy = XtDisplay(automaton_area);
  Visual* visual = DefaultVisualOfScreen(XtScreen(automaton_area));
  const picture_layout l = layout_in(width, height);
  std::vector<unsigned long> palette;
  for (int s = 0; s < std::max(shown.Ns, 1); ++s)
    palette.push_back(pixel_of(visual, state_colour(s, shown.Ns)));

  XImage* image = XCreateImage(dpy, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                               static_cast<unsigned>(l.width), static_cast<unsigned>(l.height),
                               32, 0);
  if (!image) return;
  std::vector<std::uint32_t> data(
      (static_cast<std::size_t>(image->bytes_per_line) * l.height + 3) / 4);
  image->data = reinterpret_cast<char*>(data.data());
  paint(image, l, palette, pixel_of(visual, {255, 255, 255}));
  XPutImage(dpy, XtWindow(automaton_area), DefaultGCOfScreen(XtScreen(automaton_area)), image,
            0, 0, (width - l.width) / 2, (height - l.height) / 2,
            static_cast<unsigned>(l.width), static_cast<unsigned>(l.height));
  image->data = nullptr;  // ours, freed with the vector
  XDestroyImage(image);
  XFlush(dpy);
}

void cb_expose(Widget, XtPointer, XtPointer) { draw(); }

// The picture moves and changes size: what it covered before is cleared.
void cb_resize(Widget w, XtPointer, XtPointer) {
  if (XtIsRealized(w)) XClearWindow(XtDisplay(w), XtWindow(w));
  draw();
}

void cb_close(Widget, XtPointer, XtPointer) {
  popped_up = false;
  XtPopdown(automaton_shell);
}

void cb_toggle_blocks(Widget, XtPointer, XtPointer) {
  draw();
}

bool window_shown() { return popped_up && XtIsRealized(automaton_area); }

}  // namespace

void create_automaton(Widget parent) {
  automaton_shell = XtVaCreatePopupShell("automaton", topLevelShellWidgetClass, parent, XmNtitle,
                                         "Automaton", nullptr);
  on_window_close(automaton_shell, cb_close);
  Widget form = XtVaCreateWidget("automaton_form", xmFormWidgetClass, automaton_shell, nullptr);
  const compound_string label = make_label("Blocks");
  automaton_blocks = XtVaCreateManagedWidget(
      "automaton_blocks", xmToggleButtonWidgetClass, form, XmNlabelString, label.get(),
      XmNbottomAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM, nullptr);
  XtAddCallback(automaton_blocks, XmNvalueChangedCallback, cb_toggle_blocks, nullptr);
  automaton_area = XtVaCreateManagedWidget(
      "automaton_area", xmDrawingAreaWidgetClass, form, XmNwidth, initial_side, XmNheight,
      initial_side, XmNbackground, BlackPixelOfScreen(XtScreen(parent)), XmNtopAttachment,
      XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM, XmNrightAttachment, XmATTACH_FORM,
      XmNbottomAttachment, XmATTACH_WIDGET, XmNbottomWidget, automaton_blocks, nullptr);
  XtAddCallback(automaton_area, XmNexposeCallback, cb_expose, nullptr);
  XtAddCallback(automaton_area, XmNresizeCallback, cb_resize, nullptr);
  XtManageChild(form);
}

void cb_pop_automaton(Widget, XtPointer, XtPointer) {
  if (shown.cells.empty()) seed_preview();
  XtPopup(automaton_shell, XtGrabNone);
  static bool placed = false;  // the first time only; then where the user left it
  if (!placed) place_beside(automaton_shell, Ctrl_pannel);
  placed = true;
  popped_up = true;
  draw();
}

bool keep_automaton(const iteration& it) {
  undrawn = it.ints;
  if (!window_shown()) return false;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_frame < frame_interval) return false;
  last_frame = now;
  undrawn = nullptr;
  keep(it.grid());  // only the frames drawn pay for the ints
  return true;
}

void draw_kept_automaton() {
  if (window_shown()) draw();
}

void show_automaton(const iteration& it) {
  if (keep_automaton(it)) draw();
}

void show_final_grid() {
  if (!undrawn) return;
  // The last iteration's step wrote into the other grid, so this one still
  // holds what its notes came from; the render has ended, so it is
  // written out as ints.
  keep(*undrawn);
  undrawn = nullptr;
  draw();
}
