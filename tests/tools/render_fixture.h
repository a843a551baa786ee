// zelmora-render run as a separate process, as a user runs it, in a
// private directory that is also its TMPDIR.
#pragma once

#include "../core/test_support.h"

namespace fs = std::filesystem;
using namespace test_support;
using strings = std::vector<std::string>;

class render_fixture : public ::testing::Test {
 protected:
  // `script` for the shell in `dir`, its output kept in "stdout" and "stderr".
  std::string command(const std::string& script) const {
    return "cd '" + dir.string() + "' && export TMPDIR=. && { " + script + "; } >stdout 2>stderr";
  }
  run_result shell(const std::string& script) const {
    const int status = run_script(command(script));
    return {status, slurp(dir / "stdout"), slurp(dir / "stderr")};
  }
  // What is in `dir` besides the kept output.
  strings left_in_dir() const {
    strings names = files_in(dir);
    std::erase_if(names, [](const std::string& n) { return n == "stdout" || n == "stderr"; });
    return names;
  }
  const std::string renderer = "'" ZELMORA_RENDER "'";
  const std::string orchestra = " --orchestra '" ZELMORA_ORCHESTRA "'";
  temp_dir temp{"zelmora-render-"};
  const fs::path& dir = temp.path;
};
