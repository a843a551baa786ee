// zelmora-render: renders a score from a parameter set and an event list
// without a display, the way the windowed program's first render would.
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <optional>
#include <thread>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control/control_apply.h"
#include "control/osc_notes.h"
#include "control/outside_control.h"
#include "control/udp_port.h"
#include "engine/csound/offline_job.h"
#include "engine/externs.h"
#include "engine/limits.h"
#include "platform/interrupt.h"
#include "engine/render/iteration.h"
#include "engine/csound/orchestra.h"
#include "engine/csound/orchestra_file.h"
#include "engine/render/progress.h"
#include "engine/render/frames.h"
#include "engine/live/live.h"
#include "engine/render/render.h"
#include "engine/csound/sound_format.h"
#include "engine/report.h"
#include "engine/view.h"
#include "files/event_file.h"
#include "files/param_file.h"
#include "files/readable_file.h"
#include "platform/replacing_file.h"
#include "control/control_log.h"
#include "engine/mapping/beat_grid.h"
#include "tools/render_live.h"
#include "tools/render_options.h"
#include "tools/tuning_options.h"

namespace {

// As the Load Parameters dialog loads a file.
bool load_parameters(const std::string& path) {
  const file_ptr fp = open_for_reading(path);
  if (!fp) {
    std::fprintf(stderr, "zelmora-render: can't open parameter file %s: %s\n", path.c_str(),
                 reading_failure(errno));
    return false;
  }
  int file_reduction = 0;  // --reduce decides
  if (const int status = read_parameter_file(fp.get(), Current_State, file_reduction, &Grain_Design);
      status < 0) {
    report_parameter_refusal(status, path);
    std::fprintf(stderr, "zelmora-render: %s refused\n", path.c_str());
    return false;
  }
  std::fprintf(Echo_Stream, "r1=%f\n", static_cast<double>(Current_State.r1));
  return true;
}

// As the Load Event List dialog loads a file.
bool load_events(const std::string& path) {
  const file_ptr fp = open_for_reading(path);
  if (!fp) {
    std::fprintf(stderr, "zelmora-render: can't open event list file %s: %s\n", path.c_str(),
                 reading_failure(errno));
    return false;
  }
  if (read_event_list(fp.get()) < 0) {
    std::fprintf(stderr, "zelmora-render: %s refused\n", path.c_str());
    return false;
  }
  return true;
}

// The one-line display on a terminal: the automaton's iterations as a sink
// of the render, then the score time csound says it has rendered.
class terminal_progress final : public iteration_sink {
 public:
  explicit terminal_progress(int iterations) : iterations_(iterations) {}
  void on_iteration(const iteration& it) override {
    score_seconds = it.start + static_cast<double>(it.dur);
    progress.automaton_at(it.number + 1, iterations_);
    line.show(progress);
  }
  job_progress progress;
  progress_line line{stderr};
  double score_seconds = 0.0;  // where the last note ends
  csound_score_clock csound;

 private:
  int iterations_;
};
std::optional<terminal_progress> shown_progress;

// Ends the display, at 100 % when the job succeeded; later messages start
// on a line of their own.
void end_progress(bool succeeded) {
  if (!shown_progress) return;
  if (succeeded) shown_progress->progress.finished();
  shown_progress->line.finish(shown_progress->progress);
}

csound_observer progress_observer() {
  if (!shown_progress) return {};
  const auto messages = [](std::string_view chunk) {
    terminal_progress& shown = *shown_progress;
    shown.csound.feed(chunk);
    shown.progress.sound_at(shown.csound.seconds(), shown.score_seconds);
    shown.line.show(shown.progress);
  };
  return {messages, [](int status) { end_progress(status == 0); }};
}

// The score goes to a private temporary file, never to the windowed
// program's "zelmora.temp.sco", so both can run side by side.
int make_wav(const options& opt) {
  sound_job_settings settings;
  settings.orchestra = opt.orchestra;
  settings.score_place = temp_score_place::where::temporary_directory;
  settings.messages = opt.verbose ? csound_messages::shown : csound_messages::shown_on_failure;
  settings.observe = progress_observer();
  // -d: no table displays; 24-bit samples under the header the name's
  // extension asks for, WAV for any other name; no colour codes, so the
  // messages read plainly when they have to be shown.
  std::vector<std::string> csound_options{"-d"};
  if (opt.rate != 0) csound_options.insert(csound_options.end(), {"-r", std::to_string(opt.rate)});
  const std::vector<std::string> named = sound_format_options(opt.sound);
  const std::vector<std::string> format = named.empty() ? sound_format_options(".wav") : named;
  csound_options.insert(csound_options.end(), format.begin(), format.end());
  csound_options.emplace_back("-+msg_color=0");
  settings.command = [&](const std::string& output, const std::string& score) {
    return output_command(csound_options, output, opt.orchestra, score);
  };
  const std::unique_ptr<offline_job> job = offline_job::sound_file(opt.sound, std::move(settings));
  job->finish();
  if (job->state() != offline_job::phase::done) {
    end_progress(false);
    std::fprintf(stderr, "zelmora-render: no sound file made (orchestra %s)\n",
                 opt.orchestra.c_str());
    return exit_failed;
  }
  return exit_ok;
}

int write_score(const std::string& name) {
  const std::unique_ptr<offline_job> job = offline_job::score_file(name);
  job->finish();
  end_progress(job->state() == offline_job::phase::done);
  switch (job->state()) {
    case offline_job::phase::done:
      return exit_ok;
    case offline_job::phase::abandoned:
      if (frame_failed()) return exit_failed;  // said
      std::fprintf(stderr, "\nzelmora-render: render abandoned, %s left as it was\n",
                   name.c_str());
      return exit_failed;
    default:  // already reported
      return exit_failed;
  }
}

int write_standard_output() {
  const int status = play_ca(stdout);  // closes it
  end_progress(status == render_complete);
  if (status == render_abandoned) {
    if (!frame_failed()) std::fputs("\nzelmora-render: render abandoned\n", stderr);
    return exit_failed;
  }
  if (status == render_write_failed) {
    std::fputs("zelmora-render: can't write the score to standard output\n", stderr);
    return exit_failed;
  }
  return exit_ok;
}

// Where the echo lines go under --quiet.
std::FILE* quiet_stream() {
  static const file_ptr null_stream(std::fopen("/dev/null", "w"));
  return null_stream ? null_stream.get() : stderr;
}

}  // namespace

static int render_main(int argc, char** argv) {
  options opt;
  if (const int status = parse_arguments(argc, argv, opt); status >= 0) return status;

  stop_cleanly_on({SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ});
  stop_cleanly_on_the_rest();
  systeminit();
  Echo_Stream = stderr;  // standard output may carry the score
  if (opt.quiet) Echo_Stream = quiet_stream();
  if (!opt.params.empty() && !load_parameters(opt.params)) return exit_failed;
  if (!opt.events.empty() && !load_events(opt.events)) return exit_failed;
  Current_State.iter = opt.iterations;
  Mean_Mode = opt.mean_mode;
  if (!apply_tuning_options(opt.tuning)) return exit_failed;
  // A score printed on the terminal would be broken up by the line.
  const bool score_on_terminal = opt.score.empty() && opt.sound.empty() && isatty(STDOUT_FILENO);
  if (isatty(STDERR_FILENO) && !opt.quiet && !opt.verbose && !opt.live && !score_on_terminal) {
    shown_progress.emplace(opt.iterations);
    add_iteration_sink(*shown_progress);
  }

  if (!opt.frames.empty() && !write_frames_to(opt.frames, opt.every)) return exit_failed;
  outside_control control;
  if (!start_outside_control(opt.control, control)) return exit_failed;

  int status = exit_ok;
  if (opt.live)
    status = render_live({opt.orchestra, opt.rtaudio, opt.score, opt.connect, opt.verbose,
                          opt.quiet, opt.sync, tempo_grain_beats(opt.tuning)});
  else if (!opt.sound.empty())
    status = make_wav(opt);
  else if (!opt.score.empty())
    status = write_score(opt.score);
  else
    status = write_standard_output();
  return frame_failed() ? exit_failed : status;
}

int main(int argc, char** argv) {
  end_on_uncaught_exceptions("zelmora-render");
  try {
    return render_main(argc, argv);
  } catch (...) {
    return end_on_exception("zelmora-render", std::current_exception());
  }
}
