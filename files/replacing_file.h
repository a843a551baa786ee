// Writes a file so that a failure never destroys what was there: the text
// goes to a temporary file beside the target, which replaces the target only
// when every write succeeded.
#pragma once

#include <cstdio>
#include <string>

class replacing_file {
 public:
  explicit replacing_file(std::string target);
  ~replacing_file();  // an uncommitted temporary file is removed
  replacing_file(const replacing_file&) = delete;
  replacing_file& operator=(const replacing_file&) = delete;

  // The stream to write to, or nullptr when the target's directory does not
  // take a new file (or the target is a directory).
  std::FILE* stream() const { return fp_; }

  // Closes the stream and renames it over the target. False (and the target
  // untouched) when a write, the close or the rename failed.
  bool commit();

  // For writers that close the stream themselves (play_ca): gives up the
  // stream; commit_closed() then renames when `written_ok`.
  std::FILE* release();
  bool commit_closed(bool written_ok);

 private:
  std::string target_;
  std::string temp_;
  std::FILE* fp_ = nullptr;
  bool done_ = false;
  bool direct_ = false;  // a device or pipe, written in place
};
