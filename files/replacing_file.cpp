#include "files/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

std::string directory_of(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

replacing_file::replacing_file(std::string target) : target_(std::move(target)) {
  if (target_.empty() || target_.back() == '/') return;
  // Replace what a symbolic link points to, not the link itself.
  if (std::unique_ptr<char, decltype(&std::free)> real(::realpath(target_.c_str(), nullptr),
                                                       &std::free);
      real)
    target_ = real.get();

  struct stat st {};
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return;
  // A file we could not open for writing is not ours to replace either.
  if (exists && ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) return;
  if (exists && !S_ISREG(st.st_mode)) {
    // A device or a pipe cannot be renamed over: write to it directly.
    fp_ = std::fopen(target_.c_str(), "w");
    direct_ = fp_ != nullptr;
    return;
  }

  std::string pattern = directory_of(target_) + "/.zelmora-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return;
  temp_.assign(name.data());
  // An existing file keeps its permissions; a new one gets the usual ones.
  mode_t mode = st.st_mode & 07777;
  if (!exists) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd, mode);
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
  if (direct_) {
    done_ = true;
    return written_ok;
  }
  if (temp_.empty() || done_) return false;
  if (!written_ok || std::rename(temp_.c_str(), target_.c_str()) != 0) return false;
  done_ = true;
  return true;
}
