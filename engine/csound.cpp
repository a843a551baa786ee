#include "engine/csound.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "engine/orchestra.h"
#include "engine/render.h"
#include "engine/report.h"
#include "engine/sound_format.h"
#include "files/replacing_file.h"

namespace {

constexpr std::string_view shell_safe_punctuation = "._-+/,:@%=";

bool shell_safe(char c) {
  const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  return alnum || shell_safe_punctuation.find(c) != std::string_view::npos;
}

// What the shell reports for a command, as an exit status: a command killed
// by a signal counts as 128 + the signal, the way the shell shows it.
int exit_status_of(int raw) {
  if (raw == -1) return 127;  // no shell could be started
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return 1;
}

int run_csound(const std::string& command) {
  const int status = exit_status_of(std::system(command.c_str()));
  if (status != 0) report_error("csound failed with exit status %d\n", status);
  return status;
}

std::string play_command(const std::string& score) {
  return "csound -o devaudio " + shell_word(orchestra_path()) + " " + shell_word(score);
}

}  // namespace

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
  // A name without a known extension keeps the headerless samples (-h).
  const std::string format = sound_format_flags(name);
  return "csound -g -s " + (format.empty() ? "-h" : format) + " -o " + shell_word(name) + " " +
         shell_word(orchestra_path()) + " " + shell_word(score);
}

int render_and_run(const std::string& score, const std::string& command) {
  std::FILE* fp = std::fopen(score.c_str(), "w");
  if (!fp) {
    report_error("Can't open file tempory file\n");
    return -1;
  }
  const int status = play_ca(fp);  // closes fp
  int result = -1;
  if (status == render_complete)
    result = run_csound(command) == 0 ? 0 : -1;
  else if (status == render_write_failed)
    report_error("Can't write file %s\n", score.c_str());
  // An abandoned or short score is never played.
  std::remove(score.c_str());
  return result;
}

// A missing orchestra is said before the render; csound still runs and
// fails, as it would for any other reason.
int play_on_audio_device() {
  check_orchestra();
  const temp_score_place score;
  return render_and_run(score.path(), play_command(score.path()));
}

int make_sound_file(const std::string& name) {
  check_orchestra();
  const temp_score_place score;
  return render_and_run(score.path(), sound_file_command(name, score.path()));
}

score_outcome write_score_file(const std::string& name) {
  replacing_file file(name);
  if (!file.stream()) {
    report_error("Can't open file %s\n", name.c_str());
    return score_outcome::not_opened;
  }
  const int status = play_ca(file.release());  // closes the stream
  // An abandoned render has already said why; the old file stays.
  if (status == render_abandoned) return score_outcome::abandoned;
  if (!file.commit_closed(status == render_complete)) {
    report_error("Can't write file %s\n", name.c_str());
    return score_outcome::not_written;
  }
  return score_outcome::written;
}

int make_score_file(const std::string& name) {
  return write_score_file(name) == score_outcome::written ? 0 : -1;
}
