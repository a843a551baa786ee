// csound as a child process: started from a command's words (no shell) in
// a private directory of its own, its messages read from a pipe, its
// failure said in its own words.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/csound/csound_command.h"

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

// Starts the command (with the grain plugin when its orchestra needs it),
// standard input from /dev/null.
csound_child start_csound(const csound_command& command);

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
