// zelmora-render: renders a score from a parameter set and an event list
// without a display, the way the windowed program's first render would.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "engine/externs.h"
#include "engine/render.h"
#include "engine/view.h"
#include "files/event_file.h"
#include "files/param_file.h"

namespace {

constexpr int exit_ok = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

constexpr const char* usage_text =
    "Usage: zelmora-render [options]\n"
    "Renders a Csound score from the automaton without opening a window.\n"
    "\n"
    "  --params FILE.csp     start from this parameter set (default: the built-in one)\n"
    "  --events FILE.cse     follow this event list\n"
    "  --iterations N        number of iterations (default 600)\n"
    "  --reduce mean|mode    how a block becomes one frequency (default mean)\n"
    "  --score FILE          write the score to FILE (default: standard output)\n"
    "  --help                show this text\n"
    "\n"
    "Progress and echo lines go to standard error.\n";

struct options {
  std::string params;
  std::string events;
  std::string score;
  int iterations = 600;
  int mean_mode = 0;
};

struct file_closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

int usage_error(const char* message, const char* arg) {
  std::fprintf(stderr, "zelmora-render: %s%s\n", message, arg);
  std::fputs("Try 'zelmora-render --help'.\n", stderr);
  return exit_usage;
}

bool parse_int(const char* text, int& value) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE || v < -2147483647L || v > 2147483647L)
    return false;
  value = static_cast<int>(v);
  return true;
}

// Returns -1 when the arguments are good, else the exit status.
int parse_arguments(int argc, char** argv, options& opt) {
  for (int a = 1; a < argc; ++a) {
    const std::string arg = argv[a];
    if (arg == "--help" || arg == "-h") {
      std::fputs(usage_text, stdout);
      return exit_ok;
    }
    if (a + 1 >= argc) return usage_error("unknown option or missing value: ", arg.c_str());
    const char* value = argv[++a];
    if (arg == "--params") {
      opt.params = value;
    } else if (arg == "--events") {
      opt.events = value;
    } else if (arg == "--score") {
      opt.score = value;
    } else if (arg == "--iterations") {
      if (!parse_int(value, opt.iterations)) return usage_error("not a whole number: ", value);
    } else if (arg == "--reduce") {
      if (std::strcmp(value, "mean") == 0)
        opt.mean_mode = 0;
      else if (std::strcmp(value, "mode") == 0)
        opt.mean_mode = 1;
      else
        return usage_error("--reduce takes mean or mode, not ", value);
    } else {
      return usage_error("unknown option: ", arg.c_str());
    }
  }
  return -1;
}

// As the Load Parameters dialog loads a file.
bool load_parameters(const std::string& path) {
  file_ptr fp(std::fopen(path.c_str(), "r"));
  if (!fp) {
    std::fprintf(stderr, "zelmora-render: can't open parameter file %s\n", path.c_str());
    return false;
  }
  if (read_parameters(fp.get(), Current_State) < 0) {
    std::fprintf(stderr, "Format error in parameter file\nzelmora-render: %s refused\n",
                 path.c_str());
    return false;
  }
  std::fprintf(Echo_Stream, "r1=%f\n", static_cast<double>(Current_State.r1));
  return true;
}

// As the Load Event List dialog loads a file.
bool load_events(const std::string& path) {
  file_ptr fp(std::fopen(path.c_str(), "r"));
  if (!fp) {
    std::fprintf(stderr, "zelmora-render: can't open event list file %s\n", path.c_str());
    return false;
  }
  if (read_event_list(fp.get()) < 0) {
    std::fprintf(stderr, "Format error in parameter file\nzelmora-render: %s refused\n",
                 path.c_str());
    return false;
  }
  return true;
}

// A progress line on a terminal, a few times a second at most.
int total_iterations = 0;
void show_progress(int iteration) {
  using clock = std::chrono::steady_clock;
  static clock::time_point last;
  const auto now = clock::now();
  if (iteration + 1 < total_iterations && now - last < std::chrono::milliseconds(200)) return;
  last = now;
  std::fprintf(stderr, "\riteration %d of %d", iteration + 1, total_iterations);
  if (iteration + 1 == total_iterations) std::fputc('\n', stderr);
}

}  // namespace

int main(int argc, char** argv) {
  options opt;
  if (const int status = parse_arguments(argc, argv, opt); status >= 0) return status;

  systeminit();
  Echo_Stream = stderr;  // standard output may carry the score
  if (!opt.params.empty() && !load_parameters(opt.params)) return exit_failed;
  if (!opt.events.empty() && !load_events(opt.events)) return exit_failed;
  Current_State.iter = opt.iterations;
  Mean_Mode = opt.mean_mode;
  if (isatty(STDERR_FILENO) && opt.iterations >= 1000) {
    total_iterations = opt.iterations;
    View.show_iteration = show_progress;
  }

  std::FILE* out = stdout;
  if (!opt.score.empty()) {
    out = std::fopen(opt.score.c_str(), "w");
    if (!out) {
      std::fprintf(stderr, "zelmora-render: can't open score file %s\n", opt.score.c_str());
      return exit_failed;
    }
  }
  const int status = play_ca(out);  // closes out
  if (status == render_abandoned) {
    std::fputs("\nzelmora-render: render abandoned\n", stderr);
    return exit_failed;
  }
  if (status == render_write_failed) {
    std::fprintf(stderr, "zelmora-render: can't write the score to %s\n",
                 opt.score.empty() ? "standard output" : opt.score.c_str());
    return exit_failed;
  }
  return exit_ok;
}
