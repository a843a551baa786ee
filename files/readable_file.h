// Opening a file the user named for reading. Only a regular file counts:
// a directory, a device (/dev/zero) or a pipe that may never send a line is
// refused like a file that cannot be opened.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

struct file_close {
  void operator()(std::FILE* fp) const { std::fclose(fp); }
};
using file_ptr = std::unique_ptr<std::FILE, file_close>;

// The errno open_for_reading() leaves for a device, a pipe or a socket.
constexpr int not_a_regular_file = EINVAL;

// Why open_for_reading() failed, from its errno.
inline const char* reading_failure(int error) {
  return error == not_a_regular_file ? "not a regular file" : std::strerror(error);
}

inline file_ptr open_for_reading(const std::string& path) {
  // Non-blocking, so that opening a pipe with no writer cannot hang; the
  // type is judged on what was opened, not on an earlier look at the name.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    errno = S_ISDIR(st.st_mode) ? EISDIR : not_a_regular_file;
    return nullptr;
  }
  file_ptr fp(::fdopen(fd, "r"));
  if (!fp) ::close(fd);
  return fp;
}
