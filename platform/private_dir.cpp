#include "platform/private_dir.h"

#include <stdlib.h>  // mkdtemp

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

private_directory::private_directory() {
  std::error_code error;
  fs::path base = fs::temp_directory_path(error);
  if (error) base = "/tmp";
  std::string pattern = absolute_path((base / "zelmora-XXXXXX").string());
  const interrupt_guard guard;  // no signal between creating and registering
  if (!::mkdtemp(pattern.data())) return;
  path_ = pattern;
  registration_ = temporary_registration(path_);
}

private_directory::~private_directory() {
  std::error_code error;
  if (!path_.empty()) fs::remove_all(path_, error);
}

std::string absolute_path(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::error_code error;
  const fs::path here = fs::current_path(error);
  return error ? path : (here / path).string();
}
