#include "platform/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <memory>

#include "platform/output_target.h"

replacing_file::replacing_file(std::string target, const std::string& suffix)
    : target_(std::move(target)), suffix_(suffix) {
  error_ = EISDIR;
  if (target_.empty() || target_.back() == '/') return;
  errno = 0;
  const output_target found = find_output_target(target_);
  error_ = errno != 0 ? errno : EACCES;
  if (found.how == output_target::kind::refused) return;
  if (found.how == output_target::kind::in_place) {
    fp_ = ::fdopen(found.fd, "w");
    if (!fp_) ::close(found.fd);
    direct_ = fp_ != nullptr;
    error_ = direct_ ? 0 : errno;
    return;
  }
  target_ = found.path;

  struct stat st {};
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  error_ = EISDIR;
  if (exists && S_ISDIR(st.st_mode)) return;
  // A file we could not open for writing is not ours to replace either.
  if (exists && ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
    error_ = errno;
    return;
  }

  temp_ = temporary_file(directory_of(target_), ".zelmora-", suffix);
  error_ = errno;
  if (!temp_.ok()) return;
  // An existing file keeps its permissions; a new one gets the usual ones.
  existed_ = exists;
  old_ = {exists ? st.st_mode & 07777 : usual_file_mode(), st.st_uid, st.st_gid};
  ::fchmod(temp_.fd(), old_.mode);
  fp_ = temp_.stream("w");
  error_ = fp_ ? 0 : errno;
  if (!fp_) temp_ = temporary_file{};
}

replacing_file::~replacing_file() {
  if (fp_) std::fclose(fp_);
}

std::FILE* replacing_file::release() {
  std::FILE* fp = fp_;
  fp_ = nullptr;
  return fp;
}

bool replacing_file::commit() {
  if (!fp_) return false;
  errno = 0;
  const bool written = std::ferror(fp_) == 0;
  const bool closed = std::fclose(fp_) == 0;
  if (!written || !closed) error_ = errno != 0 ? errno : EIO;
  fp_ = nullptr;
  return commit_closed(written && closed);
}

std::string replacing_file::path_for_writer() {
  // A writer in a directory of its own (csound) needs a name from the root,
  // which the system takes only up to PATH_MAX: deeper, it writes a private
  // file too, copied into the temporary one.
  if (direct_ || absolute_path(temp_.path()).size() >= PATH_MAX) {
    // A writer that goes by name would replace a device or pipe (csound
    // unlinks what it writes to): it writes a private file instead, whose
    // bytes go to the target. The target stays open meanwhile, so that a
    // pipe's reader does not see its end early.
    copy_dir_.emplace();
    if (!fp_ || copy_dir_->path().empty()) return "";
    copy_ = copy_dir_->path() + "/copy" + suffix_;
    return copy_;
  }
  if (fp_) std::fclose(fp_);  // nothing was written through it
  fp_ = nullptr;
  return temp_.path();
}

bool replacing_file::copy_to_target(bool written_ok) {
  if (!fp_) return false;
  bool ok = written_ok;
  if (ok) {
    const std::unique_ptr<std::FILE, decltype(&std::fclose)> in(std::fopen(copy_.c_str(), "rb"),
                                                                 &std::fclose);
    ok = in != nullptr;
    std::array<char, 65536> buffer{};
    while (ok) {
      const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), in.get());
      ok = std::fwrite(buffer.data(), 1, n, fp_) == n && std::ferror(in.get()) == 0;
      if (n < buffer.size()) break;
    }
  }
  ok = std::fclose(fp_) == 0 && ok;
  fp_ = nullptr;
  copy_dir_.reset();
  return ok;
}

bool replacing_file::commit_closed(bool written_ok) {
  if (direct_) {
    done_ = true;
    return copy_dir_ ? copy_to_target(written_ok) : written_ok;
  }
  if (copy_dir_) written_ok = copy_to_target(written_ok);
  if (!temp_.ok() || done_ || !written_ok) return false;
  // The writer may have made the file anew; the owner first, as a change
  // of owner may clear the set-id bits of the mode. Either may be refused
  // to a process that is not the owner: the file is still replaced.
  [[maybe_unused]] const bool owner_kept =
      !existed_ || ::chown(temp_.path().c_str(), old_.owner, old_.group) == 0;
  ::chmod(temp_.path().c_str(), old_.mode);
  if (std::rename(temp_.path().c_str(), target_.c_str()) != 0) {
    error_ = errno;
    return false;
  }
  temp_.keep();
  done_ = true;
  return true;
}
