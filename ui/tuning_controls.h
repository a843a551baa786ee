// The windows' parts for tuning: the control panel's "Quantize" toggle
// beside Mean/Mode, and in the States window the note a frequency is and
// "Load Scale…" with its file dialog (a Scala .scl scale or .kbm mapping).
#pragma once

#include <Xm/Xm.h>

// The toggle "quantize" right of `beside`, level with it, in `form`.
void build_quantize_toggle(Widget form, Widget beside);
// The toggle shows whether the default engine quantizes.
void show_quantize();

// In the States window's side panel: the label "note_name" under the
// frequency field (`field`), pushing `below_field` down, and the button
// "load_scale" under `last_button`, with its dialog.
void build_scale_parts(Widget side_form, Widget field, Widget below_field, Widget last_button);
// The label names the note of `hz`: from the loaded scale, else 12-tone
// equal temperament at A = 440 Hz.
void show_note_of(double hz);
