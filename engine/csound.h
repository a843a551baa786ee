// The three rendering commands, engine side: the windows' callbacks call
// these with the name from their dialog.
#pragma once

#include <functional>
#include <string>
#include <vector>

constexpr const char* temp_score_name = "zelmora.temp.sco";
constexpr const char* orchestra_name = "zelmora.orc";

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

// Renders into `score` (created or emptied), runs `command` (no shell: its
// words are the program and its arguments) when the render completed, and
// removes `score` in every case. 0 when csound succeeded, -1 otherwise
// (reported).
int render_and_run(const std::string& score, const std::string& command,
                   csound_messages messages = csound_messages::shown);

// make_sound_file() in general: `command_for` gives the command that has
// csound write the file it is given.
int render_sound_file(const std::string& score, const std::string& name,
                      const std::function<std::string(const std::string&)>& command_for,
                      csound_messages messages = csound_messages::shown);
