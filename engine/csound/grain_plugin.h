// zelmora's csound plugin (plugin/): its opcode `zelmora_grains` plays the
// grain voices in C++ and reads a render's score itself, so that csound
// neither parses an event nor runs an instrument instance per note. An
// orchestra that uses the opcode gets the plugin and the score through it;
// any other orchestra is run as it always was.
#pragma once

#include <string>
#include <string_view>

#include "engine/csound/csound_command.h"
#include "engine/csound/orchestra.h"

constexpr const char* grain_plugin_name = "zelmora-grains.so";
constexpr const char* grain_opcode_name = "zelmora_grains";
// The voices through the Master, as zelmora.orc plays them.
constexpr const char* grain_master_opcode_name = "zelmora_master";
// The orchestra macro that names the score the opcode reads.
constexpr const char* grain_notes_macro = "ZELMORA_NOTES";
// The orchestra macro that gives the voices a grain design.
constexpr const char* grain_design_macro = "ZELMORA_GRAIN";

// The plugin: the file ZELMORA_PLUGIN names when it is set; else the
// installed one, <prefix>/lib/zelmora/zelmora-grains.so beside the
// program's <prefix>/bin; else the build tree's. `found` is false when the
// chosen file is not there.
file_location find_grain_plugin();

// Whether the orchestra's text uses the opcode (outside comments).
bool uses_grain_opcode(std::string_view orchestra);

// A command "csound [options] ORCHESTRA SCORE" made to run in `workspace`
// (csound's private working directory): when the orchestra uses the
// opcode, csound gets the plugin, the opcode gets SCORE (through a link in
// the workspace, whatever its name) and csound a small score of its own
// made in the workspace. Any other command comes back as it was. A missing
// plugin is said (csound then fails on the unknown opcode).
class private_directory;
csound_command with_grain_plugin(const csound_command& command, private_directory& workspace);
