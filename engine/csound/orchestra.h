// Where the csound commands find the orchestra and put their temporary
// score, so that the programs run from any directory once installed.
#pragma once

#include <filesystem>
#include <string>

#include "platform/interrupt.h"

constexpr const char* orchestra_name = "zelmora.orc";
constexpr const char* temp_score_name = "zelmora.temp.sco";

// The orchestra: the file ZELMORA_ORC names when it is set; else
// "zelmora.orc" in the working directory, named just so (the commands keep
// their familiar text); else the installed copy, <prefix>/share/zelmora/
// zelmora.orc beside the program's <prefix>/bin. `found` is false when the
// chosen file is not there; `path` is then ZELMORA_ORC or "zelmora.orc", so
// that csound names what is missing.
struct file_location {
  std::string path;
  bool found = false;
};
file_location find_orchestra();

// <prefix>/<from_bin>/<name> for the running program's <prefix>/bin;
// empty when the program's own path is unknown.
std::filesystem::path installed_file(const char* from_bin, const char* name);

// Whether `path` names a regular file (never throws).
bool is_regular_file_at(const std::filesystem::path& path);

// find_orchestra().path.
std::string orchestra_path();

// True when the orchestra is found; otherwise reports (report_error) where
// it was looked for and returns false.
bool check_orchestra();

// Where a sound command writes its temporary score: "zelmora.temp.sco" in
// the working directory when it can be created there anew (nothing of that
// name is there), otherwise the same name in a private directory under the
// system's temporary one. The score
// and the private directory go with this object.
class temp_score_place {
 public:
  temp_score_place();
  ~temp_score_place();
  temp_score_place(const temp_score_place&) = delete;
  temp_score_place& operator=(const temp_score_place&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string private_dir_;  // empty when the score is in the working directory
  temporary_registration private_dir_registration_;  // removed if a signal ends the program
  std::string path_;
};
