// Reading a Scala scale (.scl) or keyboard mapping (.kbm) the user named.
// Nothing is reported here: the caller says `error` its own way (a log
// line from a control thread, a dialog in the windows), so any thread may
// read. `error` names the file and, for a refused one, the line.
#pragma once

#include <string>

#include "engine/mapping/scala.h"

// Scala files are a few kilobytes; a bigger one is taken for no scale.
constexpr std::size_t largest_tuning_file = 1 << 20;

bool read_scale_file(const std::string& path, scala_scale& scale, std::string& error);
bool read_map_file(const std::string& path, keyboard_map& map, std::string& error);

// A scale or a mapping, by the ending of its name (.scl or .kbm, in any
// case), into the matching part of `source`.
bool read_tuning_file(const std::string& path, tuning_source& source, std::string& error);
