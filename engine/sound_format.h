// Which sound file format a name asks for, as csound's output options.
#pragma once

#include <string>

// The csound options for the header that `name`'s extension names
// (case-insensitive): ".wav" "-W", ".au"/".snd" "--format=au",
// ".aif"/".aiff" "-A", ".flac" "--format=flac"; "" for any other name.
std::string sound_format_flags(const std::string& name);
