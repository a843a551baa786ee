// zelmora-render: renders a score from a parameter set and an event list
// without a display, the way the windowed program's first render would.
#include <unistd.h>

#include <array>
#include <csignal>
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
#include "tools/tuning_options.h"

namespace {

constexpr int exit_ok = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;
constexpr int min_rate = 1000;  // what csound's audio modules accept
constexpr int max_rate = 768000;

constexpr const char* usage_text =
    "Usage: zelmora-render [options]\n"
    "Renders a Csound score from the automaton without opening a window, or has\n"
    "csound turn it into a sound file.\n"
    "\n"
    "  --params FILE.csp     start from this parameter set (default: the built-in one)\n"
    "  --events FILE.cse     follow this event list\n"
    "  --iterations N        number of iterations, 0 to 10000000 (default 600)\n"
    "  --reduce mean|mode    how a block becomes one frequency (default mean)\n"
    "  --score FILE          write the score to FILE (default: standard output)\n"
    "  --sound FILE.wav      have csound turn the score into the WAV file FILE\n"
    "  --rate N              the sound file's sample rate in Hz (default: the\n"
    "                        orchestra's, 44100)\n"
    "  --orchestra FILE.orc  the orchestra for --sound and --live (default: $ZELMORA_ORC,\n"
    "                        else zelmora.orc here, else the installed one); one that\n"
    "                        uses zelmora_grains gets csound's plugin of the grain\n"
    "                        voices ($ZELMORA_PLUGIN, else the installed one)\n"
    "  --live                play it in real time on the audio device at the device's\n"
    "                        own sample rate; with --score, the score of exactly the\n"
    "                        notes played (the take)\n"
    "  --rtaudio MODULE      csound's audio module for --live (alsa, jack, pulse, ...;\n"
    "                        default: $ZELMORA_RTAUDIO, else csound's own); one this\n"
    "                        csound lacks is refused with the list of those it has\n"
    "  --no-connect          with jack: leave the ports zelmora:channel_1 and _2\n"
    "                        unconnected (default: to the first playback ports)\n"
    "  --osc-port [ADDR:]N   with --live: take OSC control on UDP port N of the\n"
    "                        loopback interface, or of the interface with address\n"
    "                        ADDR (0.0.0.0: all): whoever reaches it controls play\n"
    "                        and may load any file you can read\n"
    "  --osc-send HOST:PORT  send each iteration's notes as OSC /zelmora/notes\n"
    "  --midi alsa|jack      with --live: a MIDI input port (note-ons transpose,\n"
    "                        controllers move their bound controls)\n"
    "  --scale FILE.scl      tune the states to a Scala scale: state i is degree i\n"
    "  --kbm FILE.kbm        a Scala keyboard mapping placing the scale's degrees\n"
    "  --quantize            snap block frequencies to the scale (else 12-TET, A 440)\n"
    "  --tempo BPM           grains on a beat grid, 1 to 1000 BPM, in place of dur\n"
    "  --grain-beats N       grains a beat with --tempo, 1 to 192 (default 4)\n"
    "  --frames DIR          also write the grid as DIR/NNNNNN.png, one pixel per cell\n"
    "  --every N             a frame every N iterations (default 1)\n"
    "  --verbose             show csound's own messages\n"
    "  --quiet               show neither echo lines nor progress\n"
    "  --help                show this text\n"
    "  --version             show the version\n"
    "\n"
    "Echo lines go to standard error. When it is a terminal, one line there also\n"
    "shows how far the whole render is, csound's part included, and the time\n"
    "left (not with --verbose, whose csound messages show that).\n"
    "A score or sound file is replaced only when it was completely written; on\n"
    "SIGINT, SIGTERM, SIGHUP, SIGPIPE or SIGXFSZ csound is stopped, temporary\n"
    "files are removed and the exit status is 128 + the signal.\n"
    "\n"
    "With --live, Ctrl-C is how a performance ends: the sound fades out, the\n"
    "take of what was played is kept and the exit status is 0. SIGTERM and\n"
    "SIGHUP fade the sound out over 50 ms too and exit with 128 + the signal,\n"
    "keeping no take. An audio device that stops playing (its server gone)\n"
    "ends play within a second with status 1.\n";

static_assert(max_iterations == 10'000'000, "the usage text and messages name the limit");

struct options {
  std::string params;
  std::string events;
  std::string score;
  std::string sound;
  std::string orchestra = orchestra_path();
  std::string frames;
  std::string rtaudio = live_rtaudio_from_environment();
  outside_control_settings control{"", "", "", "zelmora-render", false};
  int every = 1;
  int rate = 0;  // 0: the orchestra's
  bool live = false;
  bool connect = true;
  int iterations = 600;
  int mean_mode = 0;
  bool verbose = false;
  bool quiet = false;
  tuning_options tuning;
};

int usage_error(const char* message, const char* arg) {
  std::fprintf(stderr, "zelmora-render: %s%s\n", message, arg);
  std::fputs("Try 'zelmora-render --help'.\n", stderr);
  return exit_usage;
}

bool parse_real(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(value);
}

bool parse_int(const char* text, int& value) {
  // Digits alone: strtol would also take blanks before them.
  if (*text != '-' && (*text < '0' || *text > '9')) return false;
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
    if (arg == "--version") {
      std::puts("zelmora-render " ZELMORA_VERSION);
      return exit_ok;
    }
    if (arg == "--verbose") {
      opt.verbose = true;
      continue;
    }
    if (arg == "--quiet") {
      opt.quiet = true;
      continue;
    }
    if (arg == "--live") {
      opt.live = true;
      continue;
    }
    if (arg == "--no-connect") {
      opt.connect = false;
      continue;
    }
    if (arg == "--quantize") {
      opt.tuning.quantize = true;
      continue;
    }
    if (a + 1 >= argc) return usage_error("unknown option or missing value: ", arg.c_str());
    const char* value = argv[++a];
    if (*value == '\0') return usage_error("empty value for ", arg.c_str());
    if (arg == "--params") {
      opt.params = value;
    } else if (arg == "--events") {
      opt.events = value;
    } else if (arg == "--score") {
      opt.score = value;
    } else if (arg == "--sound") {
      opt.sound = value;
    } else if (arg == "--orchestra") {
      opt.orchestra = value;
    } else if (arg == "--rtaudio") {
      opt.rtaudio = value;
    } else if (arg == "--osc-port") {
      std::string host, port;
      if (!split_listen_address(value, host, port))
        return usage_error("--osc-port takes [ADDRESS:]PORT, a UDP port 1 ... 65535, not ", value);
      opt.control.osc_port = value;
    } else if (arg == "--osc-send") {
      std::string host, port;
      if (!split_host_port(value, host, port))
        return usage_error("--osc-send takes HOST:PORT, not ", value);
      opt.control.osc_send = value;
    } else if (arg == "--midi") {
      if (!valid_midi_system(value)) return usage_error("--midi takes alsa or jack, not ", value);
      opt.control.midi = value;
    } else if (arg == "--frames") {
      opt.frames = value;
    } else if (arg == "--rate") {
      if (!parse_int(value, opt.rate) || opt.rate < min_rate || opt.rate > max_rate)
        return usage_error("--rate takes a sample rate from 1000 to 768000 Hz, not ", value);
    } else if (arg == "--every") {
      if (!parse_int(value, opt.every) || opt.every < 1)
        return usage_error("--every takes a whole number from 1, not ", value);
    } else if (arg == "--iterations") {
      if (!parse_int(value, opt.iterations) || opt.iterations < 0 ||
          opt.iterations > max_iterations)
        return usage_error("--iterations takes a whole number from 0 to 10000000, not ", value);
    } else if (arg == "--scale") {
      opt.tuning.scale = value;
    } else if (arg == "--kbm") {
      opt.tuning.kbm = value;
    } else if (arg == "--tempo") {
      if (!parse_real(value, opt.tuning.tempo) || opt.tuning.tempo < lowest_tempo ||
          opt.tuning.tempo > highest_tempo)
        return usage_error("--tempo takes beats a minute from 1 to 1000, not ", value);
    } else if (arg == "--grain-beats") {
      if (!parse_int(value, opt.tuning.grain_beats) || opt.tuning.grain_beats < 1 ||
          opt.tuning.grain_beats > most_grain_beats)
        return usage_error("--grain-beats takes a whole number from 1 to 192, not ", value);
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
  if (opt.live && !opt.sound.empty())
    return usage_error("--live plays the render itself; it does not take --sound", "");
  if (opt.rate != 0 && opt.sound.empty())
    return usage_error("--rate is the sample rate of --sound's file; live play takes the device's",
                       "");
  if (!opt.live && (!opt.control.osc_port.empty() || !opt.control.midi.empty()))
    return usage_error("--osc-port and --midi play a live render; add --live", "");
  if (!opt.score.empty() && !opt.sound.empty())
    return usage_error("--score and --sound each make their own render; choose one", "");
  if (opt.tuning.grain_beats != 0 && opt.tuning.tempo == 0.0)
    return usage_error("--grain-beats divides the beat of --tempo; add --tempo", "");
  if (opt.tuning.tempo != 0.0 &&
      !beat_grid_fits(opt.tuning.tempo, tempo_grain_beats(opt.tuning)))
    return usage_error("--tempo and --grain-beats give grains outside 0.001 ... 10 s", "");
  return -1;
}

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

// The signal that ends live play, 0 while none came.
volatile std::sig_atomic_t interrupted = 0;
void on_interrupt(int signal) { interrupted = signal; }

// One line on a terminal, a few times a second.
void show_live_progress(const live_player& player, bool last) {
  using clock = std::chrono::steady_clock;
  static clock::time_point shown;
  const auto now = clock::now();
  if (!last && now - shown < std::chrono::milliseconds(200)) return;
  shown = now;
  std::fprintf(stderr, "\rlive: iteration %d of %d, %.1f s, %d late ", Current_Iteration + 1,
               Current_State.iter, player.clock(), player.late_iterations());
  if (last) std::fputc('\n', stderr);
}

constexpr std::array<int, 3> stopping_signals{SIGINT, SIGTERM, SIGHUP};

// /zelmora/stop ends play as Ctrl-C does.
bool stop_asked = false;
void note_effects(const control_effects& effects) {
  if (effects.stop) stop_asked = true;
  if (effects.play) control_log("already playing");
}

// Plays until the render has sounded, a stop by OSC or a signal ends it
// with a fade; the signal, 0 for none.
int play_until_done(live_player& player, bool progress) {
  for (const int signal : stopping_signals) std::signal(signal, on_interrupt);
  apply_controls_at_iterations(note_effects);
  while (player.feed()) {
    note_effects(apply_controls(true));
    if (interrupted != 0 || stop_asked) {
      player.stop();
      break;
    }
    if (progress) show_live_progress(player, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (progress) show_live_progress(player, true);
  return interrupted;
}

int play_live(const options& opt) {
  std::optional<replacing_file> score;
  live_settings settings{opt.orchestra, opt.rtaudio, nullptr, opt.connect};
  if (!opt.score.empty()) {
    score.emplace(opt.score);
    if (!score->stream()) {
      report_file_error("Can't open file", opt.score, score->error());
      return exit_failed;
    }
    settings.score = score->stream();
  }
  live_player player;
  if (player.start(settings) != 0) return exit_failed;
  const int signal = play_until_done(player, isatty(STDERR_FILENO) != 0 && !opt.quiet);
  if (player.late_iterations() > 0)
    std::fprintf(stderr, "zelmora-render: %d iterations were computed too late for their time\n",
                 player.late_iterations());
  if (opt.verbose)
    std::fprintf(stderr,
                 "zelmora-render: live: %d late, csound used %.2f CPU-s for %.2f s of sound"
                 " played in %.2f s\n",
                 player.late_iterations(), player.csound_cpu(), player.played(),
                 player.wall_time());
  if (player.status() == live_device_lost) return exit_failed;
  if (signal == SIGTERM || signal == SIGHUP) return 128 + signal;
  if (score && !score->commit()) {
    report_file_error("Can't write file", opt.score, score->error());
    return exit_failed;
  }
  if (player.status() == render_abandoned) {
    std::fputs("\nzelmora-render: render abandoned\n", stderr);
    return exit_failed;
  }
  return exit_ok;
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
    status = play_live(opt);
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
