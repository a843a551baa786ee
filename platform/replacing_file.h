// Writes a file so that a failure never destroys what was there: the text
// goes to a temporary file beside the target, which replaces the target only
// when every write succeeded. The replacement is a new file with the old
// one's permissions, owner and group (as far as the process may set them);
// other hard links to the old file keep the old text. Devices, pipes and
// /dev/stdout are written in place (output_target.h).
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "platform/temporary_file.h"

class replacing_file {
 public:
  // `suffix` ends the temporary file's name (a writer may go by it).
  explicit replacing_file(std::string target, const std::string& suffix = "");
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

  // For writers that open the file by name (csound): closes the stream and
  // gives the name to write to; empty when there is none. commit_closed()
  // then renames when `written_ok`. A target written in place gets a
  // private file, copied into it by commit_closed().
  std::string path_for_writer();

  // Why the stream could not be had or the commit failed: an errno value.
  int error() const { return error_; }

 private:
  bool copy_to_target(bool written_ok);

  std::string target_;
  std::string suffix_;
  temporary_file temp_;  // removed unless it replaced the target
  std::optional<private_directory> copy_dir_;
  std::string copy_;
  std::FILE* fp_ = nullptr;
  bool done_ = false;
  bool direct_ = false;  // a device or pipe, written in place
  bool existed_ = false;
  int error_ = 0;
  struct stat_kept {
    unsigned mode = 0;
    unsigned owner = 0;
    unsigned group = 0;
  } old_{};
};
