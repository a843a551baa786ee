// Each live or sound test runs in a fresh directory holding zelmora.orc,
// temporary files in its tmp/. CTest gives them a HOME whose .asoundrc makes
// ALSA's default device the null one.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "engine/csound.h"
#include "files/param_file.h"
#include "files/readable_file.h"
#include "tests/core/test_support.h"

class live_test : public test_support::core_test {
 protected:
  void SetUp() override {
    core_test::SetUp();
    std::filesystem::copy_file(ZELMORA_ORCHESTRA, orchestra_name);
    std::filesystem::create_directory("tmp");
    ::setenv("TMPDIR", "tmp", 1);
  }
  void TearDown() override {
    ::unsetenv("TMPDIR");
    ::unsetenv("JACK_DEFAULT_SERVER");
    ::unsetenv("JACK_NO_START_SERVER");
    core_test::TearDown();
  }

  static std::string example(const std::string& name) {
    return std::string(ZELMORA_EXAMPLES) + "/" + name;
  }
  // zelmora-render's exit status; its standard error is kept in `err`.
  int run_render(const std::string& arguments) {
    const int raw = std::system((std::string(ZELMORA_RENDER) + " " + arguments +
                                 " >render.out 2>render.err")
                                    .c_str());
    err = test_support::slurp("render.err");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  const test_support::working_dir dir{"zelmora-live-"};
  std::string err;
};

extern char** environ;

// A JACK server of its own on the dummy driver (which keeps real time) at
// `rate`, stopped by its process id.
struct jack_server {
  explicit jack_server(int rate) : rate_(rate) {
    // The only server live play may reach (live_test unsets both).
    ::setenv("JACK_DEFAULT_SERVER", ("zelmora-live-" + std::to_string(::getpid())).c_str(), 1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    start();
  }
  ~jack_server() { stop(); }
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
        "exec jackd -r -d dummy -r " + std::to_string(rate_) + " -p 256 >jackd.log 2>&1";
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    if (::posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
      pid = 0;
  }
  int rate_;
};
