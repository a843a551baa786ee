// What the tests and the fuzz targets share, without GoogleTest: running a
// program, waiting for a condition, and text through memory streams.
#pragma once

#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

extern char** environ;

namespace test_support {

struct run_result {
  int status = -1;  // the exit status; -1 when killed or never started
  std::string out, err;
};

// Runs `script` with sh, killed after `seconds` (status 124 then).
inline int run_script(const std::string& script, int seconds = 300) {
  const std::string limit = std::to_string(seconds);
  const char* argv[] = {"timeout", limit.c_str(), "sh", "-c", script.c_str(), nullptr};
  pid_t pid = 0;
  if (::posix_spawnp(&pid, "timeout", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
    return -1;
  int raw = 0;
  while (::waitpid(pid, &raw, 0) < 0) {
  }
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Asks `holds` every `pause` until it does or `tries` are used up (a long
// limit that a busy machine does not reach); says whether it held.
template <typename Holds>
bool poll_until(Holds holds, int tries = 2000,
                std::chrono::milliseconds pause = std::chrono::milliseconds(5)) {
  for (int n = 0; n < tries; ++n) {
    if (holds()) return true;
    std::this_thread::sleep_for(pause);
  }
  return holds();
}

// What `write` writes to a stream, as text.
template <typename Write>
std::string text_of(Write write) {
  char* buffer = nullptr;
  std::size_t length = 0;
  std::FILE* fp = ::open_memstream(&buffer, &length);
  if (!fp) std::abort();
  write(fp);
  std::fclose(fp);
  std::string text(buffer, length);
  std::free(buffer);
  return text;
}

// What `read` gives for `text` as a read-only stream (fmemopen refuses a
// size of 0: an empty text is read from a one-byte buffer).
template <typename Read>
auto read_text(std::string text, Read read) {
  const std::size_t size = text.size();
  text.push_back('\0');
  std::FILE* fp = ::fmemopen(text.data(), size == 0 ? 1 : size, "r");
  if (!fp) std::abort();
  auto result = read(fp);
  std::fclose(fp);
  return result;
}

}  // namespace test_support
