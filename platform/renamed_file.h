// A whole file written under a temporary name in its own directory, then
// renamed over its name: no reader sees it half-written, an interruption
// leaves the old file (or none), and a link planted under the name is
// replaced, never followed.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

// `write` fills the stream and says whether it succeeded. False when it
// failed or the file could not be made or renamed; nothing is left then.
bool write_renamed_file(const std::string& path, const std::function<bool(std::FILE*)>& write);
