#include "platform/output_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string_view>

std::string directory_of(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

namespace {

// The descriptor a name such as /dev/stdout or /dev/fd/3 stands for, -1
// for any other name or a descriptor that is not open.
int named_descriptor(const std::string& name) {
  if (name == "/dev/stdin") return STDIN_FILENO;
  if (name == "/dev/stdout") return STDOUT_FILENO;
  if (name == "/dev/stderr") return STDERR_FILENO;
  for (const std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    if (!name.starts_with(prefix) || name.size() == prefix.size()) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    const int fd = std::atoi(digits.c_str());
    return ::fcntl(fd, F_GETFD) == -1 ? -1 : fd;
  }
  return -1;
}

output_target in_place(int fd) {
  if (fd < 0) return {};
  return {output_target::kind::in_place, {}, fd};
}

}  // namespace

bool link_may_be_followed(const std::string& path) {
  struct stat link {};
  if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return true;
  struct stat dir {};
  if (::stat(directory_of(path).c_str(), &dir) != 0) return true;
  const bool shared_sticky = (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0;
  return !shared_sticky || link.st_uid == ::geteuid() || link.st_uid == dir.st_uid;
}

namespace {

// Links followed before the name is taken for a loop, as the kernel does.
constexpr int max_links = 40;

std::string resolved(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? real.get() : "";
}

// What `name` leads to through its links: the file, or where a dangling
// link would have it made (as the shell's ">" makes it); empty when a
// link may not be followed or they loop.
std::string link_target(std::string name) {
  for (int links = 0; links <= max_links; ++links) {
    if (!link_may_be_followed(name)) {
      errno = EACCES;
      return "";
    }
    if (std::string real = resolved(name); !real.empty()) return real;
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;  // a new file
    std::string to(static_cast<std::size_t>(st.st_size) + 1, '\0');
    const ssize_t n = ::readlink(name.c_str(), to.data(), to.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= to.size()) return "";
    to.resize(static_cast<std::size_t>(n));
    name = to.front() == '/' ? to : directory_of(name) + "/" + to;
  }
  errno = ELOOP;
  return "";
}

}  // namespace

output_target find_output_target(const std::string& name) {
  if (const int fd = named_descriptor(name); fd >= 0)
    return in_place(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
  // Replace what a symbolic link points to, not the link itself.
  output_target target{output_target::kind::replace, link_target(name), -1};
  if (target.path.empty()) return {};
  struct stat st {};
  if (::stat(target.path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))
    return target;
  // A device or a pipe cannot be renamed over: it is written to directly.
  // Opening a pipe waits for its reader, as the shell's redirection does.
  return in_place(::open(target.path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
}
