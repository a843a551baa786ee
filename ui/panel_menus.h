// The control panel's menu bar: File, Edit, Output, Mapping and Presets,
// every title and entry with a mnemonic. The entries the program greys are
// kept by handle: the generated names they carry (widget41, menu_button,
// ...) recur in other windows, so a look-up by name could find the wrong
// widget.
#pragma once

#include <Xm/Xm.h>

struct panel_menu_entries {
  Widget file = nullptr;  // the File pulldown
  Widget quit = nullptr;
  Widget edit = nullptr;  // the Edit title
  Widget csound = nullptr, audio_output = nullptr, audio_file = nullptr;
  Widget play_live = nullptr, stop_live = nullptr, save_take = nullptr;
  Widget midi = nullptr;  // Mapping -> MIDI, greyed while MIDI is off
  Widget presets = nullptr;  // the Presets title
};
extern panel_menu_entries Panel_Menus;

Widget build_menu_bar(Widget form);

// A push button entry of `menu` showing `text`, underlining `mnemonic`
// (0: none) and naming the keys that also do it (`keys`, or none).
Widget make_menu_entry(Widget menu, const char* name, const char* text, XtCallbackProc callback,
                       char mnemonic = 0, const char* keys = nullptr);

// A pulldown `menu` under a cascade titled `text` in `parent`.
Widget make_cascade(Widget parent, const char* name, const char* text, Widget menu,
                    char mnemonic);
