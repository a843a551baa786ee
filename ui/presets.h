// The Presets menu: the example sets and lists installed with the program,
// found as the orchestra is (the examples folder beside it, else the
// installed share/zelmora/examples), one entry each. A set is opened as
// File -> Load Parameters opens one, a list as Load Event List does.
#pragma once

#include <Xm/Xm.h>

#include <string>

// The folder of the presets; empty when there is none.
std::string presets_folder();

// Builds the menu in the menu bar; returns its title.
Widget build_presets_menu(Widget menu_bar);

// The set the windowed program starts with: the resource *startPreset
// (default "spirals.csp", a lively one; "none" keeps the defaults), a name
// in the presets folder or a path. The default set soon settles on one
// held grain, so a first sound should come from a set that stays alive.
void open_start_preset(Widget top);
