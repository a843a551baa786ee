// Each live or sound test runs in a fresh directory holding zelmora.orc,
// temporary files in its tmp/. CTest gives them a HOME whose .asoundrc makes
// ALSA's default device the null one.
#pragma once

#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "engine/csound/offline_job.h"
#include "files/param_file.h"
#include "files/readable_file.h"
#include "tests/core/jack_server.h"
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

// A process of the test's own through sh (exec it to be the program
// itself), ended by its PID.
struct child {
  explicit child(const std::string& command) {
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    if (::posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
      pid = 0;
  }
  ~child() { stop(SIGTERM); }
  child(const child&) = delete;
  child& operator=(const child&) = delete;
  // Its exit status (128 + a signal that ended it); -1 when it did not end
  // within `seconds` (a hang, not a slow machine) and had to be killed.
  int wait(double seconds = 30) {
    int raw = 0;
    for (int tries = 0; pid > 0 && tries < seconds * 100; ++tries) {
      if (::waitpid(pid, &raw, WNOHANG) == pid) {
        pid = 0;
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
    pid = 0;
    return -1;
  }
  void stop(int signal) {
    if (pid > 0 && ::kill(pid, signal) == 0) wait(5);
  }
  pid_t pid = 0;
};

// Whether `jack_lsp -c` shows `wanted` within 15 s; its last listing is
// left in ports.txt. Asks often: every jack_lsp is a JACK client that comes
// and goes while the program opens its own, which once left csound's
// client waiting for good beside a JACK MIDI client in the same process.
inline bool jack_ports_show(const std::string& wanted) {
  for (int tries = 0; tries < 300; ++tries) {
    std::system("timeout -k 1 5 jack_lsp -c >ports.txt 2>/dev/null");  // it can hang
    if (test_support::slurp("ports.txt").find(wanted) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}
