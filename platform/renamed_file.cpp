#include "platform/renamed_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/interrupt.h"

bool write_renamed_file(const std::string& path, const std::function<bool(std::FILE*)>& write) {
  const auto slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string pattern = dir + ".zelmora-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  temporary_registration registration;
  int fd = -1;
  {
    const interrupt_guard guard;  // no signal between creating and registering
    fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    registration = temporary_registration(name.data());
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);  // as a file made by name would be
  std::FILE* fp = ::fdopen(fd, "wb");
  if (!fp) ::close(fd);
  const bool written = fp && write(fp) && std::ferror(fp) == 0;
  const bool closed = fp && std::fclose(fp) == 0;
  if (written && closed && std::rename(name.data(), path.c_str()) == 0) return true;
  ::unlink(name.data());
  return false;
}
