// The orchestra as a file someone named: csound is given only a regular
// file of a sane size, since a pipe would hang it and a device such as
// /dev/zero would never end.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

constexpr std::size_t max_orchestra_size = std::size_t{16} << 20;  // bytes

// True (reported) when `path` is there but is not a regular file of at
// most max_orchestra_size bytes. A missing file is left to csound to name.
bool orchestra_refused(const std::string& path);

// The whole text; nothing (reported) when it cannot be read or is refused.
std::optional<std::string> read_orchestra(const std::string& path);
