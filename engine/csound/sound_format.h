// Which sound file format a name asks for, as csound's output options.
#pragma once

#include <string>
#include <vector>

// The csound options for the header that `name`'s extension names
// (case-insensitive) and 24-bit samples: ".wav" -W -3, ".au"/".snd"
// --format=au -3, ".aif"/".aiff" -A -3, ".flac" --format=flac -3; none for
// any other name.
std::vector<std::string> sound_format_options(const std::string& name);
