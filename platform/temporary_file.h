// Files and directories of this process's own, made anew (never one that
// was there, never through a link someone planted) and removed when they
// go out of scope, or first when a signal ends the program (interrupt.h):
// temporary scores, files renamed over a target once complete, csound's
// private working directory.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/interrupt.h"

// $TMPDIR when it names a directory, else /tmp.
std::string temporary_directory();

// 0666 less the umask: what a file made by name gets.
unsigned usual_file_mode();

// `path` from the root: a relative name is taken from the working directory.
std::string absolute_path(const std::string& path);

class temporary_file {
 public:
  temporary_file() = default;
  // A new file "<directory>/<prefix>XXXXXX<suffix>" that only this process
  // may read or write.
  temporary_file(const std::string& directory, const std::string& prefix,
                 const std::string& suffix = "");
  // A new file of exactly this name (permissions as the umask gives them);
  // none when anything is there already.
  static temporary_file named(const std::string& path);
  ~temporary_file();  // closes it and removes it, unless kept
  temporary_file(temporary_file&& other) noexcept;
  temporary_file& operator=(temporary_file&& other) noexcept;

  // False when it could not be made.
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  int fd() const { return fd_; }

  // The open file as a stream, which then owns the descriptor; nullptr
  // when there is none.
  std::FILE* stream(const char* mode);

  // It was renamed into place: nothing is left to remove.
  void keep();

 private:
  void remove();

  std::string path_;
  int fd_ = -1;
  temporary_registration registration_;
};

class private_directory {
 public:
  private_directory();  // in temporary_directory(), only this process may enter it
  ~private_directory();  // removes it with everything in it
  private_directory(const private_directory&) = delete;
  private_directory& operator=(const private_directory&) = delete;

  // From the root; empty when no directory could be made.
  const std::string& path() const { return path_; }

  // A file made in it, removed first if a signal ends the program.
  void hold(const std::string& file) { files_.emplace_back(file); }

 private:
  std::string path_;
  temporary_registration registration_;
  std::vector<temporary_registration> files_;
};
