// Which sound file format a name asks for, as csound's output options.
#pragma once

#include <string>

// The csound options for the header that `name`'s extension names
// (case-insensitive) and 24-bit samples: ".wav" "-W -3", ".au"/".snd"
// "--format=au -3", ".aif"/".aiff" "-A -3", ".flac" "--format=flac -3";
// "" for any other name.
std::string sound_format_flags(const std::string& name);
