#include "platform/renamed_file.h"

#include <sys/stat.h>

#include "platform/output_target.h"
#include "platform/temporary_file.h"

bool write_renamed_file(const std::string& path, const std::function<bool(std::FILE*)>& write) {
  temporary_file file(directory_of(path), ".zelmora-");
  if (!file.ok()) return false;
  ::fchmod(file.fd(), usual_file_mode());  // as a file made by name would be
  std::FILE* fp = file.stream("wb");
  const bool written = fp && write(fp) && std::ferror(fp) == 0;
  const bool closed = fp && std::fclose(fp) == 0;
  if (!written || !closed || std::rename(file.path().c_str(), path.c_str()) != 0) return false;
  file.keep();
  return true;
}
