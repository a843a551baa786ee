#include "engine/csound/orchestra_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>

#include "engine/report.h"

namespace {

// Why `st` is no orchestra; nullptr when it is one.
const char* refusal(const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return "is not a regular file";
  if (static_cast<std::size_t>(st.st_size) > max_orchestra_size) return "is larger than 16 MiB";
  return nullptr;
}

void report_refusal(const std::string& path, const char* why) {
  report_error("The orchestra %s %s\n", path.c_str(), why);
}

}  // namespace

bool orchestra_refused(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  const char* why = refusal(st);
  if (why) report_refusal(path, why);
  return why != nullptr;
}

std::optional<std::string> read_orchestra(const std::string& path) {
  // Non-blocking, so that a pipe without a writer cannot hang the open;
  // the type is judged on what was opened.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    if (fd >= 0) ::close(fd);
    report_error("Can't read the orchestra %s\n", path.c_str());
    return std::nullopt;
  }
  if (const char* why = refusal(st)) {
    ::close(fd);
    report_refusal(path, why);
    return std::nullopt;
  }
  std::string text;
  std::array<char, 65536> buffer{};
  ssize_t n = 0;
  // Read no more than the limit, even from a file that grows meanwhile.
  while (text.size() <= max_orchestra_size && (n = ::read(fd, buffer.data(), buffer.size())) > 0)
    text.append(buffer.data(), static_cast<std::size_t>(n));
  ::close(fd);
  if (n < 0 || text.empty() || text.size() > max_orchestra_size) {
    report_error("Can't read the orchestra %s\n", path.c_str());
    return std::nullopt;
  }
  return text;
}
