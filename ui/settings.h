// The windows' own settings, kept between runs in
// $XDG_CONFIG_HOME/zelmora/settings (default ~/.config/zelmora/settings)
// beside the MIDI bindings: one "key=value" a line; lines it does not know
// are kept as they are.
#pragma once

#include <string>

// The settings file's path.
std::string settings_path();

// The value of `key`, or `fallback` when the file has none (or is missing).
std::string read_setting(const std::string& key, const std::string& fallback);

// Stores `key` = `value`, replacing the file only once it is complete;
// false (said why) when it could not be written.
bool write_setting(const std::string& key, const std::string& value);
