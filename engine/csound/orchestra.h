// Where the csound commands find the orchestra and put their temporary
// score, so that the programs run from any directory once installed.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/temporary_file.h"

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

// The temporary score a sound command writes, made anew for this render
// and removed with this object. The windows' commands use
// "zelmora.temp.sco" in the working directory when it can be made there
// (nothing of that name is there), else the same name in a private
// directory under the system's temporary one; zelmora-render a private
// file there of its own, so that both can run side by side.
class temp_score_place {
 public:
  enum class where { working_directory, temporary_directory };
  explicit temp_score_place(where place = where::working_directory);
  // Empty when no score could be made.
  const std::string& path() const { return file_.path(); }
  // The score open for writing; nullptr after the first call.
  std::FILE* stream() { return file_.stream("w"); }

 private:
  std::optional<private_directory> directory_;  // outlives the file in it
  temporary_file file_;
};
