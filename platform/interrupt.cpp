#include "platform/interrupt.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

namespace {

// The handler may read only what it can read safely at any moment: fixed
// slots, each published by its flag after its path is complete.
struct temporary_slot {
  std::array<char, PATH_MAX> path{};
  volatile std::sig_atomic_t used = 0;
};
constexpr std::size_t temporary_slots = 16;
std::array<temporary_slot, temporary_slots> temporaries;
volatile std::sig_atomic_t running_child = 0;
sigset_t handled_signals;  // what stop_cleanly_on() installed; all zero is empty

// Async-signal-safe: a signal handler's work.
void clean_up_now() {
  if (const pid_t child = running_child; child > 0) {
    ::kill(-child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }
  // Files first, then the private directories they were in.
  for (const temporary_slot& slot : temporaries)
    if (slot.used) ::unlink(slot.path.data());
  for (const temporary_slot& slot : temporaries)
    if (slot.used) ::rmdir(slot.path.data());
}

extern "C" void stop_on_signal(int signal_number) {
  clean_up_now();
  ::_exit(128 + signal_number);
}

const char* terminating_program = "zelmora";

[[noreturn]] void on_terminate() {
  ::_exit(end_on_exception(terminating_program, std::current_exception()));
}

int take_slot(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;  // no system call takes such a name
  for (std::size_t i = 0; i < temporaries.size(); ++i) {
    temporary_slot& slot = temporaries[i];
    if (slot.used) continue;
    std::memcpy(slot.path.data(), path.c_str(), path.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot.used = 1;
    return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

void stop_cleanly_on(std::initializer_list<int> signals) {
  struct sigaction action {};
  action.sa_handler = stop_on_signal;
  ::sigfillset(&action.sa_mask);  // one cleanup at a time
  for (const int signal_number : signals) {
    // A signal ignored from the start (nohup, trap '') stays ignored, for
    // this program and for its children: writes beyond a file size limit
    // then fail as writes and are reported as such.
    struct sigaction before {};
    if (::sigaction(signal_number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    ::sigaddset(&handled_signals, signal_number);
    ::sigaction(signal_number, &action, nullptr);
  }
}

void stop_cleanly_on_the_rest() {
  stop_cleanly_on({SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPOLL, SIGPWR, SIGXCPU,
                   SIGSTKFLT});
}

interrupt_guard::interrupt_guard() { ::pthread_sigmask(SIG_BLOCK, &handled_signals, &before_); }
interrupt_guard::~interrupt_guard() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }

namespace {

sigset_t broken_pipe_only() {
  sigset_t set;
  ::sigemptyset(&set);
  ::sigaddset(&set, SIGPIPE);
  return set;
}

}  // namespace

broken_pipe_guard::broken_pipe_guard() {
  const sigset_t pipe = broken_pipe_only();
  ::pthread_sigmask(SIG_BLOCK, &pipe, &before_);
}

broken_pipe_guard::~broken_pipe_guard() {
  const sigset_t pipe = broken_pipe_only();
  sigset_t pending;
  if (::sigismember(&before_, SIGPIPE) == 0 && ::sigpending(&pending) == 0 &&
      ::sigismember(&pending, SIGPIPE) == 1) {
    const timespec now{};
    ::sigtimedwait(&pipe, nullptr, &now);
  }
  ::pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

void block_broken_pipe() {
  const sigset_t pipe = broken_pipe_only();
  ::pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

temporary_registration::temporary_registration(const std::string& path)
    : slot_(take_slot(path)) {}

temporary_registration::~temporary_registration() {
  if (slot_ >= 0) temporaries[static_cast<std::size_t>(slot_)].used = 0;
}

temporary_registration::temporary_registration(temporary_registration&& other) noexcept
    : slot_(std::exchange(other.slot_, -1)) {}

temporary_registration& temporary_registration::operator=(temporary_registration&& other) noexcept {
  if (this != &other) {
    if (slot_ >= 0) temporaries[static_cast<std::size_t>(slot_)].used = 0;
    slot_ = std::exchange(other.slot_, -1);
  }
  return *this;
}

void set_running_child(pid_t pid) { running_child = pid; }

void reset_signals_in_child() {
  for (int signal_number = 1; signal_number < NSIG; ++signal_number)
    if (::sigismember(&handled_signals, signal_number) == 1) ::signal(signal_number, SIG_DFL);
  ::pthread_sigmask(SIG_UNBLOCK, &handled_signals, nullptr);
}

int end_on_exception(const char* program, const std::exception_ptr& failure) {
  const interrupt_guard guard;
  std::string what = "an unknown failure";
  try {
    if (failure) std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    what = "out of memory";
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
  }
  std::fprintf(stderr, "%s: ended by a failure: %s\n", program, what.c_str());
  std::fflush(nullptr);
  clean_up_now();
  return 1;
}

void end_on_uncaught_exceptions(const char* program) {
  terminating_program = program;
  std::set_terminate(on_terminate);
}
