#include "engine/csound/orchestra.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "engine/report.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* orchestra_variable = "ZELMORA_ORC";

fs::path installed_orchestra() { return installed_file(ZELMORA_DATA_FROM_BIN, orchestra_name); }

const char* named_orchestra() {
  const char* named = std::getenv(orchestra_variable);
  return named && *named ? named : nullptr;
}

}  // namespace

fs::path installed_file(const char* from_bin, const char* name) {
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return (program.parent_path() / from_bin / name).lexically_normal();
}

bool is_regular_file_at(const fs::path& path) {
  std::error_code error;
  return !path.empty() && fs::is_regular_file(path, error);
}

file_location find_orchestra() {
  if (const char* named = named_orchestra()) return {named, is_regular_file_at(named)};
  if (is_regular_file_at(orchestra_name)) return {orchestra_name, true};
  const fs::path installed = installed_orchestra();
  if (is_regular_file_at(installed)) return {installed.string(), true};
  return {orchestra_name, false};
}

std::string orchestra_path() { return find_orchestra().path; }

bool check_orchestra() {
  const file_location orchestra = find_orchestra();
  if (orchestra.found) return true;
  if (named_orchestra())
    report_error("Can't find the orchestra %s that %s names\n", orchestra.path.c_str(),
                 orchestra_variable);
  else
    report_error("Can't find the orchestra %s in the working directory or at %s; %s can name it\n",
                 orchestra_name, installed_orchestra().c_str(), orchestra_variable);
  return false;
}

temp_score_place::temp_score_place(where place) {
  if (place == where::temporary_directory) {
    file_ = temporary_file(temporary_directory(), "zelmora-", ".sco");
    return;
  }
  // Trying is the only sure test: a directory can look writable and still
  // refuse (a read-only file system, or one that takes no files at all).
  file_ = temporary_file::named(temp_score_name);
  if (file_.ok()) return;
  directory_.emplace();
  if (!directory_->path().empty())
    file_ = temporary_file::named(directory_->path() + "/" + temp_score_name);
}
