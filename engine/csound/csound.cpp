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
#include "platform/interrupt.h"
#include "engine/csound/orchestra.h"
#include "engine/csound/orchestra_file.h"
#include "platform/private_dir.h"
#include "engine/render/render.h"
#include "engine/report.h"
#include "engine/csound/sound_format.h"
#include "engine/view.h"
#include "platform/replacing_file.h"

namespace {

constexpr std::string_view shell_safe_punctuation = "._-+/,:@%=";

bool shell_safe(char c) {
  const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  return alnum || shell_safe_punctuation.find(c) != std::string_view::npos;
}

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

// Runs `words` to the end, its messages read from a pipe and shown to
// `observe` as they come; the exit status as the shell would show it.
int run_words(const std::vector<std::string>& words, csound_messages messages,
              std::string& kept, const csound_observer& observe, bool& started) {
  csound_child child = start_csound_words(words);
  started = child.pid > 0;
  std::array<char, 4096> buffer{};
  for (ssize_t n = 0; child.pid > 0;) {
    n = ::read(child.messages, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    const std::string_view chunk(buffer.data(), static_cast<std::size_t>(n));
    pass_csound_messages(chunk, messages, kept);
    if (observe.messages) observe.messages(chunk);
  }
  return wait_for_csound(child);
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
  for (const char* word : {"error", "cannot", "can't", "fail", "not found", "unable"})
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

int run_csound(const std::string& command, csound_messages messages,
               const csound_observer& observe) {
  std::string kept;
  bool started = false;
  const int status = run_words(command_words(command), messages, kept, observe, started);
  if (observe.ended) observe.ended(status);
  if (status != 0 && started) report_csound_failure(status, kept, messages);
  return status;
}

}  // namespace

std::string as_file_name(const std::string& path) { return absolute_path(path); }

// ".wav" of "takes/a.wav"; empty without one.
std::string extension_of(const std::string& name) {
  const auto slash = name.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot <= base) return "";
  return name.substr(dot);
}

namespace {

std::string play_command(const std::string& score) {
  return "csound -o devaudio " + shell_word(as_file_name(orchestra_path())) + " " +
         shell_word(as_file_name(score));
}

}  // namespace

csound_child start_csound_words(const std::vector<std::string>& words) {
  std::array<int, 2> pipe_ends{};
  // Said here: the exit status 127 a child that never started gets would
  // read as a csound that is missing.
  const auto not_started = [] {
    report_error("csound could not be started: %s\n", std::strerror(errno));
    return csound_child{};
  };
  if (words.empty() || ::pipe2(pipe_ends.data(), O_CLOEXEC) != 0) return not_started();
  auto workspace = std::make_shared<private_directory>();
  const pid_t pid =
      start_child(with_grain_plugin(words, *workspace), pipe_ends[1], workspace->path());
  const int error = errno;
  ::close(pipe_ends[1]);
  if (pid < 0) {
    ::close(pipe_ends[0]);
    errno = error;
    return not_started();
  }
  return {pid, pipe_ends[0], std::move(workspace)};
}

csound_child start_csound(const std::string& command) {
  return start_csound_words(command_words(command));
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
  if (View.show_error && !kept.empty()) View.show_error(failure_reason(kept, csound_reason_lines));
}

std::string shell_word(const std::string& word) {
  bool safe = !word.empty();  // an empty name must still be one word
  for (const char c : word) safe = safe && shell_safe(c);
  if (safe) return word;
  std::string quoted = "'";
  for (const char c : word) {
    if (c == '\'')
      quoted += "'\\''";  // close, an escaped quote, reopen
    else
      quoted += c;
  }
  return quoted + "'";
}

std::string sound_file_command(const std::string& name, const std::string& score) {
  // A name without a known extension keeps the headerless 16-bit samples
  // (-s -h), which the orchestra dithers (ZELMORA_16BIT); files with a header
  // get 24-bit samples.
  const std::string format = sound_format_flags(name);
  return "csound -g " + (format.empty() ? "-s -h --omacro:ZELMORA_16BIT=1" : format) + " -o " +
         shell_word(as_file_name(name)) + " " + shell_word(as_file_name(orchestra_path())) + " " +
         shell_word(as_file_name(score));
}

std::vector<std::string> command_words(const std::string& command) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  bool quoted = false;
  for (std::size_t i = 0; i < command.size(); ++i) {
    const char c = command[i];
    if (quoted) {
      if (c == '\'')
        quoted = false;
      else
        word += c;
    } else if (c == '\'') {
      quoted = in_word = true;
    } else if (c == '\\' && i + 1 < command.size()) {
      word += command[++i];
      in_word = true;
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

std::FILE* open_temporary_score(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  std::FILE* fp = fd < 0 ? nullptr : ::fdopen(fd, "w");
  if (!fp && fd >= 0) ::close(fd);
  return fp;
}

int render_and_run(const std::string& score, const std::string& command,
                   csound_messages messages, const csound_observer& observe) {
  std::FILE* fp = nullptr;
  temporary_registration registration;
  {
    const interrupt_guard guard;  // a signal removes the score once it exists
    fp = open_temporary_score(score);
    if (fp) registration = temporary_registration(score);
  }
  if (!fp) {
    report_file_error("Can't open file", "tempory file", errno);
    return -1;
  }
  const int status = play_ca(fp);  // closes fp
  int result = -1;
  if (status == render_complete)
    result = run_csound(command, messages, observe) == 0 ? 0 : -1;
  else if (status == render_write_failed)
    report_error("Can't write file %s\n", score.c_str());
  // An abandoned or short score is never played.
  std::remove(score.c_str());
  return result;
}

// A missing orchestra is said before the render; csound still runs and
// fails, as it would for any other reason. One that csound could hang on
// is refused.
int play_on_audio_device() {
  if (orchestra_refused(orchestra_path())) return -1;
  check_orchestra();
  const temp_score_place score;
  return render_and_run(score.path(), play_command(score.path()));
}

int render_sound_file(const std::string& score, const std::string& name,
                      const std::function<std::string(const std::string&)>& command_for,
                      csound_messages messages, const csound_observer& observe) {
  // The extension stays: csound and the command may go by it. The
  // temporary file's name, beside the target, also keeps csound from
  // reading a name such as "dac" or "-x.wav" as anything but a file.
  replacing_file target(name, extension_of(name));
  const std::string written = target.path_for_writer();
  if (written.empty()) {  // no file may be made there
    report_file_error("Can't open file", name, target.error());
    return -1;
  }
  const int result = render_and_run(score, command_for(written), messages, observe);
  if (!target.commit_closed(result == 0)) {
    if (result == 0) report_file_error("Can't write file", name, target.error());
    return -1;
  }
  return 0;
}

int make_sound_file(const std::string& name) {
  if (orchestra_refused(orchestra_path())) return -1;
  check_orchestra();
  const temp_score_place score;
  const auto command_for = [&](const std::string& output) {
    return sound_file_command(output, score.path());
  };
  return render_sound_file(score.path(), name, command_for);
}

score_outcome write_score_file(const std::string& name) {
  replacing_file file(name);
  if (!file.stream()) {
    report_file_error("Can't open file", name, file.error());
    return score_outcome::not_opened;
  }
  errno = 0;
  const int status = play_ca(file.release());  // closes the stream
  const int write_error = status == render_write_failed ? errno : 0;
  // An abandoned render has already said why; the old file stays.
  if (status == render_abandoned) return score_outcome::abandoned;
  if (!file.commit_closed(status == render_complete)) {
    report_file_error("Can't write file", name, write_error != 0 ? write_error : file.error());
    return score_outcome::not_written;
  }
  return score_outcome::written;
}

int make_score_file(const std::string& name) {
  return write_score_file(name) == score_outcome::written ? 0 : -1;
}
