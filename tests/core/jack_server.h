// The tests' own JACK server, named after the test process.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

extern char** environ;

// A JACK server of its own on the dummy driver (which keeps real time) at
// `rate` with periods of `period` frames, stopped by its process id.
struct jack_server {
  explicit jack_server(int rate, int period = 256) : rate_(rate), period_(period) {
    // The only server the program under test may reach.
    ::setenv("JACK_DEFAULT_SERVER", ("zelmora-live-" + std::to_string(::getpid())).c_str(), 1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    start();
  }
  ~jack_server() {
    stop();
    ::unsetenv("JACK_DEFAULT_SERVER");
    ::unsetenv("JACK_NO_START_SERVER");
  }
  void stop(int signal = SIGTERM) {
    if (pid > 0 && ::kill(pid, signal) == 0) ::waitpid(pid, nullptr, 0);
    pid = 0;
    // A killed server keeps its slot in JACK's registry, which has eight for
    // the whole system; a server of the same name reclaims it and, stopped
    // cleanly, gives it back.
    if (signal == SIGKILL) {
      start();
      running();
      stop();
    }
  }
  bool running() const { return pid > 0 && std::system("jack_wait -w -t 10 >/dev/null 2>&1") == 0; }
  jack_server(const jack_server&) = delete;
  jack_server& operator=(const jack_server&) = delete;
  pid_t pid = 0;

 private:
  void start() {
    const std::string command =
        "exec jackd -r -d dummy -r " + std::to_string(rate_) + " -p " + std::to_string(period_) +
        " >jackd.log 2>&1";
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    if (::posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
      pid = 0;
  }
  int rate_;
  int period_;
};
