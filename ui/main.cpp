// zelmora: the windowed program. Everything after start-up happens in the
// toolkit's callbacks.
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/interrupt.h"
#include "ui/startup.h"

int main(int argc, char** argv) {
  // Echo and progress lines appear as they happen, also in a log file.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  // Closing the terminal or a kill stops csound and removes the render's
  // temporary files; the sound and score files keep their old contents.
  stop_cleanly_on({SIGTERM, SIGINT, SIGHUP, SIGXFSZ});
  stop_cleanly_on_the_rest();
  end_on_uncaught_exceptions("zelmora");
  try {
    if (const int status = build_interface(argc, argv); status != 0) return status;
    XtAppMainLoop(app_context);
  } catch (...) {
    return end_on_exception("zelmora", std::current_exception());
  }
  return 0;
}
