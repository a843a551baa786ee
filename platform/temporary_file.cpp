#include "platform/temporary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <stdlib.h>  // mkstemps, mkdtemp
#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

std::string temporary_directory() {
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  return error ? "/tmp" : base.string();
}

unsigned usual_file_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

std::string absolute_path(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::error_code error;
  const fs::path here = fs::current_path(error);
  return error ? path : (here / path).string();
}

temporary_file::temporary_file(const std::string& directory, const std::string& prefix,
                               const std::string& suffix) {
  std::string name = directory + "/" + prefix + "XXXXXX" + suffix;
  const interrupt_guard guard;  // no signal between creating and registering
  fd_ = ::mkostemps(name.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
  if (fd_ < 0) return;
  path_ = std::move(name);
  registration_ = temporary_registration(path_);
}

temporary_file temporary_file::named(const std::string& path) {
  temporary_file file;
  const interrupt_guard guard;
  // O_EXCL: a link planted under the name, even a dangling one, refuses.
  file.fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (file.fd_ < 0) return file;
  file.path_ = path;
  file.registration_ = temporary_registration(path);
  return file;
}

temporary_file::~temporary_file() { remove(); }

temporary_file::temporary_file(temporary_file&& other) noexcept
    : path_(std::exchange(other.path_, {})),
      fd_(std::exchange(other.fd_, -1)),
      registration_(std::move(other.registration_)) {}

temporary_file& temporary_file::operator=(temporary_file&& other) noexcept {
  if (this == &other) return *this;
  remove();
  path_ = std::exchange(other.path_, {});
  fd_ = std::exchange(other.fd_, -1);
  registration_ = std::move(other.registration_);
  return *this;
}

std::FILE* temporary_file::stream(const char* mode) {
  if (fd_ < 0) return nullptr;
  std::FILE* fp = ::fdopen(fd_, mode);
  if (fp) fd_ = -1;
  return fp;
}

void temporary_file::keep() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  path_.clear();
  registration_ = temporary_registration{};
}

void temporary_file::remove() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!path_.empty()) ::unlink(path_.c_str());
  path_.clear();
  registration_ = temporary_registration{};
}

private_directory::private_directory() {
  std::string pattern = absolute_path(temporary_directory() + "/zelmora-XXXXXX");
  const interrupt_guard guard;  // no signal between creating and registering
  if (!::mkdtemp(pattern.data())) return;
  path_ = pattern;
  registration_ = temporary_registration(path_);
}

private_directory::~private_directory() {
  std::error_code error;
  if (!path_.empty()) fs::remove_all(path_, error);
}
