#include "engine/csound/csound.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/csound/grain_plugin.h"
#include "engine/report.h"
#include "platform/interrupt.h"
#include "platform/temporary_file.h"

namespace {

// What the shell reports for a command, as an exit status: a command killed
// by a signal counts as 128 + the signal, the way the shell shows it.
int exit_status_of(int raw) {
  if (raw == -1) return 127;  // the command could not be started
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return 1;
}

// What is kept of csound's messages for a failure: the end matters most.
constexpr std::size_t kept_messages_max = std::size_t{1} << 20;
// What a dialog shows of a failed csound's messages.
constexpr std::size_t csound_reason_lines = 6;

void write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a closed output: SIGPIPE, when handled, ends the run
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

// Starts `words` as a child in a process group of its own, its standard
// output and error into `output`, standard input from /dev/null, working in
// `directory` (or the root when there is none), so that it reads no file
// planted in the program's working directory (./.csound6rc). The child is
// registered so that a signal ending the program stops it, and it dies with
// the program, however the program ends.
pid_t start_child(const std::vector<std::string>& words, int output, const std::string& directory) {
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  const char* working = directory.empty() ? "/" : directory.c_str();
  const pid_t parent = ::getpid();
  const interrupt_guard guard;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);  // the program ended before the line above
    if (::chdir(working) != 0) ::_exit(127);
    reset_signals_in_child();
    ::setpgid(0, 0);
    const int input = ::open("/dev/null", O_RDONLY);
    if (input >= 0) ::dup2(input, STDIN_FILENO);
    ::dup2(output, STDOUT_FILENO);
    ::dup2(output, STDERR_FILENO);
    ::execvp(argv[0], argv.data());
    // Why, for the messages shown on failure (127 alone reads as missing).
    const char* why = ::strerrordesc_np(errno);
    for (const char* part : {"can't run ", static_cast<const char*>(argv[0]), ": ", why ? why : "?", "\n"})
      write_all(STDERR_FILENO, part, std::strlen(part));
    ::_exit(127);  // as the shell says of a command it cannot find
  }
  if (pid > 0) {
    ::setpgid(pid, pid);
    set_running_child(pid);
  }
  return pid;
}

// A line as a dialog can show it: without the terminal's colour codes.
std::string without_escapes(const std::string& line) {
  std::string plain;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\x1b' && i + 1 < line.size() && line[i + 1] == '[') {
      i += 2;
      while (i < line.size() && !std::isalpha(static_cast<unsigned char>(line[i]))) ++i;
    } else if (line[i] != '\r') {
      plain += line[i];
    }
  }
  return plain;
}

bool says_what_failed(std::string line) {
  for (char& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // A full disk: "soundfile write returned bytecount of 0, not 4096(disk
  // may be full...", "File size limit exceeded".
  for (const char* word : {"error", "cannot", "can't", "fail", "not found", "unable", "disk",
                           "exceeded", "no space"})
    if (line.find(word) != std::string::npos) return true;
  return false;
}

// Why csound failed, in its own words: the last `count` of its lines that
// speak of an error (or else its last lines), each with its newline.
std::string failure_reason(const std::string& messages, std::size_t count) {
  std::vector<std::string> lines, failures;
  std::size_t start = 0;
  while (start < messages.size()) {
    std::size_t end = messages.find('\n', start);
    if (end == std::string::npos) end = messages.size();
    const std::string line = without_escapes(messages.substr(start, end - start));
    if (line.find_first_not_of(" \t") != std::string::npos) {
      lines.push_back(line);
      if (says_what_failed(line)) failures.push_back(line);
    }
    start = end + 1;
  }
  const std::vector<std::string>& chosen = failures.empty() ? lines : failures;
  std::string reason;
  for (std::size_t i = chosen.size() > count ? chosen.size() - count : 0; i < chosen.size(); ++i)
    reason += chosen[i] + '\n';
  return reason;
}

}  // namespace

csound_child start_csound(const csound_command& command) {
  std::array<int, 2> pipe_ends{};
  // Said here: the exit status 127 a child that never started gets would
  // read as a csound that is missing.
  const auto not_started = [] {
    report_error("csound could not be started: %s\n", std::strerror(errno));
    return csound_child{};
  };
  if (::pipe2(pipe_ends.data(), O_CLOEXEC) != 0) return not_started();
  auto workspace = std::make_shared<private_directory>();
  const pid_t pid =
      start_child(with_grain_plugin(command, *workspace).words(), pipe_ends[1], workspace->path());
  const int error = errno;
  ::close(pipe_ends[1]);
  if (pid < 0) {
    ::close(pipe_ends[0]);
    errno = error;
    return not_started();
  }
  return {pid, pipe_ends[0], std::move(workspace)};
}

int wait_for_csound(csound_child& child) {
  if (child.messages >= 0) ::close(child.messages);
  child.messages = -1;
  if (child.pid <= 0) return 127;
  int raw = 0;
  while (::waitpid(child.pid, &raw, 0) < 0 && errno == EINTR) {
  }
  child.pid = -1;
  set_running_child(0);
  child.workspace.reset();
  return exit_status_of(raw);
}

void stop_csound(csound_child& child) {
  if (child.pid > 0) ::kill(-child.pid, SIGKILL);
  wait_for_csound(child);
}

void pass_csound_messages(std::string_view chunk, csound_messages messages, std::string& kept) {
  if (messages == csound_messages::shown) write_all(STDERR_FILENO, chunk.data(), chunk.size());
  // The tail is kept either way: a failure's reason is in its last lines.
  kept.append(chunk);
  if (kept.size() > kept_messages_max) kept.erase(0, kept.size() - kept_messages_max / 2);
}

void report_csound_failure(int status, const std::string& kept, csound_messages messages) {
  report_error("csound failed with exit status %d\n", status);
  if (messages == csound_messages::shown_on_failure) std::fputs(kept.c_str(), stderr);
  // The terminal has csound's words; a dialog shows the last of them.
  if (!kept.empty()) display_error(failure_reason(kept, csound_reason_lines));
}

