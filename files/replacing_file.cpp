#include "files/replacing_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace {

std::string directory_of(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool is_directory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

replacing_file::replacing_file(std::string target) : target_(std::move(target)) {
  if (target_.empty() || target_.back() == '/' || is_directory(target_)) return;
  std::string pattern = directory_of(target_) + "/.zelmora-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return;
  temp_.assign(name.data());
  // Keep the permissions a newly created file would get.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  fp_ = ::fdopen(fd, "w");
  if (!fp_) {
    ::close(fd);
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

replacing_file::~replacing_file() {
  if (fp_) std::fclose(fp_);
  if (!done_ && !temp_.empty()) ::unlink(temp_.c_str());
}

std::FILE* replacing_file::release() {
  std::FILE* fp = fp_;
  fp_ = nullptr;
  return fp;
}

bool replacing_file::commit() {
  if (!fp_) return false;
  const bool written = std::ferror(fp_) == 0;
  const bool closed = std::fclose(fp_) == 0;
  fp_ = nullptr;
  return commit_closed(written && closed);
}

bool replacing_file::commit_closed(bool written_ok) {
  if (temp_.empty() || done_) return false;
  if (!written_ok || std::rename(temp_.c_str(), target_.c_str()) != 0) return false;
  done_ = true;
  return true;
}
