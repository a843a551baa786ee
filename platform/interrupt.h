// Ending cleanly on a signal: what a render leaves behind while it runs (a
// csound child, temporary files not yet renamed or removed) is registered
// here, and a handled signal stops the child, removes the files and ends
// the program with status 128 + the signal. Old targets are never touched:
// they are replaced only by renaming a finished temporary file.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <exception>
#include <initializer_list>
#include <string>

// Installs the handler for these signals (SIGINT, SIGTERM, SIGXFSZ, ...),
// except those the program was started with ignored.
void stop_cleanly_on(std::initializer_list<int> signals);

// stop_cleanly_on() every other signal whose default action ends the
// program (SIGQUIT, SIGUSR1, SIGALRM, ...; not those of a crash, whose core
// dump is worth more): they end it with 128 + the signal, cleaned up.
void stop_cleanly_on_the_rest();

// The signals stop_cleanly_on() handles, blocked while a registration or a
// fork is half done; as they were again when the guard ends.
class interrupt_guard {
 public:
  interrupt_guard();
  ~interrupt_guard();
  interrupt_guard(const interrupt_guard&) = delete;
  interrupt_guard& operator=(const interrupt_guard&) = delete;

 private:
  sigset_t before_;
};

// SIGPIPE blocked in this thread, and so in every thread it starts, while
// the guard lives: a library's write to an audio server that died then
// fails with EPIPE instead of ending the program, whose own output to a
// closed pipe still ends it. A SIGPIPE such a write left pending on this
// thread is dropped when the guard ends.
class broken_pipe_guard {
 public:
  broken_pipe_guard();
  ~broken_pipe_guard();
  broken_pipe_guard(const broken_pipe_guard&) = delete;
  broken_pipe_guard& operator=(const broken_pipe_guard&) = delete;

 private:
  sigset_t before_;
};

// SIGPIPE blocked in this thread for good: for threads that only ever
// write to audio servers.
void block_broken_pipe();

// A file (or an empty directory) to remove if a signal ends the program,
// for as long as this lives.
class temporary_registration {
 public:
  temporary_registration() = default;
  explicit temporary_registration(const std::string& path);
  ~temporary_registration();
  temporary_registration(temporary_registration&& other) noexcept;
  temporary_registration& operator=(temporary_registration&& other) noexcept;

 private:
  int slot_ = -1;
};

// The csound child a signal must stop (its own process group), 0 for none.
void set_running_child(pid_t pid);

// For a child between fork and exec: the default actions back, unblocked.
void reset_signals_in_child();

// Ends the program on an exception nothing else handled (out of memory, a
// thread the system would not make): "PROGRAM: WHAT" on standard error,
// the csound child stopped and the temporary files removed as a signal
// would; returns the exit status, 1. For main's last catch.
int end_on_exception(const char* program, const std::exception_ptr& failure);

// The same for an exception that escapes a thread of its own (which would
// otherwise abort the program and leave the files): as std::terminate's
// handler, ending the program with status 1.
void end_on_uncaught_exceptions(const char* program);
