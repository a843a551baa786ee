// zelmora: the windowed program. Everything after start-up happens in the
// toolkit's callbacks.
#include <cstdio>
#include <cstdlib>

#include "ui/startup.h"

int main(int argc, char** argv) {
  // Echo and progress lines appear as they happen, also in a log file.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (!build_interface(argc, argv)) return -1;
  XtAppMainLoop(app_context);
  return 0;
}
