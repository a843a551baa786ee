// What a name the user gave for an output is: a file to replace (written
// beside it and renamed over it), or something written in place: a device,
// a pipe, or a descriptor the program already holds (/dev/stdout), whose
// open mode (append) is kept. A link another user planted in a shared
// sticky directory (/tmp) is not followed, as the kernel's protected-
// symlinks rule would refuse it had it been asked to open the name.
#pragma once

#include <string>

struct output_target {
  enum class kind { replace, in_place, refused } how = kind::refused;
  std::string path;  // replace: the file itself, links resolved
  int fd = -1;       // in_place: open for writing; the caller closes it
};

output_target find_output_target(const std::string& name);

// The directory a path names a file in: "." for a bare name.
std::string directory_of(const std::string& path);

// False when `path` is a symbolic link in a sticky, world-writable directory
// owned neither by this process's user nor by the directory's owner.
bool link_may_be_followed(const std::string& path);
