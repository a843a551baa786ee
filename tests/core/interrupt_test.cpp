// SIGPIPE as the live audio libraries meet it: a thread started under
// broken_pipe_guard (as JACK's and csound's are) writes to a server that
// died and gets EPIPE; the program's own write to a closed pipe still ends
// it with 128 + SIGPIPE.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <future>
#include <thread>

#include "platform/interrupt.h"

namespace {

// errno of a one-byte write to `fd`, 0 when it was written.
int write_error(int fd) { return ::write(fd, "x", 1) == 1 ? 0 : errno; }

[[noreturn]] void write_to_closed_pipe_from_every_side() {
  stop_cleanly_on({SIGPIPE});
  std::array<int, 2> fds{};
  if (::pipe(fds.data()) != 0) ::_exit(2);
  ::close(fds[0]);
  std::promise<void> guard_ended;
  std::future<int> later;
  int own = 0;
  {
    const broken_pipe_guard quiet_pipes;
    // A library's thread, started now, writes after the guard has ended.
    later = std::async(std::launch::async, [&, ended = guard_ended.get_future()]() mutable {
      ended.wait();
      return write_error(fds[1]);
    });
    { const interrupt_guard nested; }  // its end must not unblock SIGPIPE
    own = write_error(fds[1]);
  }
  guard_ended.set_value();
  if (own != EPIPE || later.get() != EPIPE) ::_exit(3);
  std::fputs("library writes failed with EPIPE\n", stderr);
  write_error(fds[1]);  // the program's own write
  ::_exit(0);
}

TEST(BrokenPipeGuard, LibraryThreadsGetEpipeAndTheProgramsOwnWriteStillEndsIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(write_to_closed_pipe_from_every_side(), ::testing::ExitedWithCode(128 + SIGPIPE),
              "library writes failed with EPIPE");
}

}  // namespace
