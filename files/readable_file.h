// Opening a file the user named for reading. A directory counts as a file
// that cannot be opened, although fopen() accepts one on Linux.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>

struct file_close {
  void operator()(std::FILE* fp) const { std::fclose(fp); }
};
using file_ptr = std::unique_ptr<std::FILE, file_close>;

inline file_ptr open_for_reading(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return nullptr;
  return file_ptr(std::fopen(path.c_str(), "r"));
}
