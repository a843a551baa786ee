// The three rendering commands, engine side: the windows' callbacks call
// these with the name from their dialog.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/csound/orchestra.h"

// Renders into the temporary score, plays it with csound on the audio
// device, removes the score. 0 on success, -1 on any failure (reported).
int play_on_audio_device();

// Renders into the temporary score and has csound write the sound file
// `name`; the score is removed. 0 on success, -1 on failure (reported).
// csound writes a temporary file beside `name`, which replaces it only when
// csound succeeded, so a failure or an interruption keeps the old file.
int make_sound_file(const std::string& name);

// Renders into the score file `name`, replacing it only when the render
// completed and every write succeeded. 0 on success, -1 on failure.
int make_score_file(const std::string& name);

// `word` as the shell should see it: unchanged when it is made only of
// safe characters, otherwise single-quoted.
std::string shell_word(const std::string& word);

// The command make_sound_file() runs for the sound file `name` from the
// temporary score `score`. csound runs in a private directory of its own,
// so every name in a command is from the root.
std::string sound_file_command(const std::string& name,
                               const std::string& score = temp_score_name);

// What became of a render into a score file.
enum class score_outcome { written, not_opened, abandoned, not_written };

// make_score_file() with the reason of a failure, for callers that explain
// it further.
score_outcome write_score_file(const std::string& name);

// The words of a command as the shell would split it (the quoting of
// shell_word(), blanks between words); no other shell syntax is read.
std::vector<std::string> command_words(const std::string& command);

// What becomes of csound's messages: passed on to standard error as they
// come, or kept and shown only when csound fails.
enum class csound_messages { shown, shown_on_failure };

// Sees csound's messages as they come, chunk by chunk, whatever becomes of
// them (a progress display reads its score time from them), then its exit
// status, before a failure is reported.
struct csound_observer {
  std::function<void(std::string_view)> messages;
  std::function<void(int)> ended;
};

// The temporary score `path` opened for writing, created or emptied, never
// through a link planted under its name; nullptr when it cannot be.
std::FILE* open_temporary_score(const std::string& path);

// Renders into `score` (created or emptied), runs `command` (no shell: its
// words are the program and its arguments) when the render completed, and
// removes `score` in every case. 0 when csound succeeded, -1 otherwise
// (reported).
int render_and_run(const std::string& score, const std::string& command,
                   csound_messages messages = csound_messages::shown,
                   const csound_observer& observe = {});

// make_sound_file() in general: `command_for` gives the command that has
// csound write the file it is given.
int render_sound_file(const std::string& score, const std::string& name,
                      const std::function<std::string(const std::string&)>& command_for,
                      csound_messages messages = csound_messages::shown,
                      const csound_observer& observe = {});

class private_directory;

// csound running in the background: its process, leader of a group of its
// own and registered for a signal to stop, and the read end of the pipe
// that carries its standard output and error (close-on-exec). It works in a
// private directory of its own, so that it reads no file planted in the
// program's working directory (./.csound6rc), and dies with the program.
struct csound_child {
  pid_t pid = -1;  // -1 when it could not be started
  int messages = -1;
  std::shared_ptr<private_directory> workspace;  // removed once it has ended
};

// Starts the command's words (no shell) with standard input from /dev/null.
csound_child start_csound_words(const std::vector<std::string>& words);
csound_child start_csound(const std::string& command);

// Closes the pipe and waits for the child: its exit status as the shell
// would show it (127 when it never started).
int wait_for_csound(csound_child& child);

// Kills the child's whole process group at once and reaps it.
void stop_csound(csound_child& child);

// A chunk of messages passed on to standard error (when shown); the end
// of them is kept either way, to be shown if csound fails.
void pass_csound_messages(std::string_view chunk, csound_messages messages, std::string& kept);
// csound ended with `status` (not 0): said on standard error with its
// messages (`kept`, unless they were shown as they came), and in a dialog
// with the lines of them that say why.
void report_csound_failure(int status, const std::string& kept, csound_messages messages);

// ".wav" of "takes/a.wav"; empty without one.
std::string extension_of(const std::string& name);

// A name as csound must see it to take it for a file, from its own working
// directory: from the root, never an option ("-o/take.wav") or a device
// ("dac").
std::string as_file_name(const std::string& path);
