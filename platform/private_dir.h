// A directory of this process's own under $TMPDIR (or /tmp), for files no
// one else may see or plant: csound's working directory, private copies.
#pragma once

#include <string>
#include <vector>

#include "platform/interrupt.h"

class private_directory {
 public:
  private_directory();
  ~private_directory();  // removes it with everything in it
  private_directory(const private_directory&) = delete;
  private_directory& operator=(const private_directory&) = delete;

  // From the root; empty when no directory could be made.
  const std::string& path() const { return path_; }

  // A file made in it, removed first if a signal ends the program.
  void hold(const std::string& file) { files_.emplace_back(file); }

 private:
  std::string path_;
  temporary_registration registration_;  // removed if a signal ends the program
  std::vector<temporary_registration> files_;
};

// `path` from the root: a relative name is taken from the working directory.
std::string absolute_path(const std::string& path);
