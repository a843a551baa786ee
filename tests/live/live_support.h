// Each live or sound test runs in a fresh directory holding zelmora.orc,
// temporary files in its tmp/. CTest gives them a HOME whose .asoundrc makes
// ALSA's default device the null one.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "engine/csound.h"
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
