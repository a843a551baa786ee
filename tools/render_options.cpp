#include "tools/render_options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "control/osc_notes.h"
#include "control/udp_port.h"
#include "engine/limits.h"
#include "engine/mapping/beat_grid.h"

namespace {

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
    "  --rtaudio MODULE      the audio output for --live: jack (zelmora's own JACK\n"
    "                        client) or csound's module (pulse, alsa, ...); default:\n"
    "                        $ZELMORA_RTAUDIO, else the first that works of a running\n"
    "                        JACK server, PulseAudio, ALSA\n"
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
    "  --grain-beats N       grains a beat with --tempo or --sync, 1 to 192 (default 4)\n"
    "  --sync jack|midi      with --live: iterations on the beat grid of JACK's transport\n"
    "                        (its timebase master's tempo) or of MIDI clock into the\n"
    "                        port zelmora:clock_in or --midi's input, while it rolls;\n"
    "                        plays on jack\n"
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
    "keeping no take. An audio server that goes away ends play at once with\n"
    "status 1, the take of what was played kept; one that stalls only delays it.\n";

static_assert(max_iterations == 10'000'000, "the usage text and messages name the limit");



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

// The options that take no value, each setting one switch.
struct flag {
  const char* name;
  void (*set)(options&);
};
constexpr flag flags[] = {
    {"--verbose", [](options& o) { o.verbose = true; }},
    {"--quiet", [](options& o) { o.quiet = true; }},
    {"--live", [](options& o) { o.live = true; }},
    {"--no-connect", [](options& o) { o.connect = false; }},
    {"--quantize", [](options& o) { o.tuning.quantize = true; }},
};

bool set_flag(const std::string& arg, options& opt) {
  for (const flag& f : flags)
    if (arg == f.name) {
      f.set(opt);
      return true;
    }
  return false;
}

}  // namespace

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
    if (set_flag(arg, opt)) continue;
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
    } else if (arg == "--sync") {
      if (std::strcmp(value, "jack") == 0)
        opt.sync = live_sync::jack;
      else if (std::strcmp(value, "midi") == 0)
        opt.sync = live_sync::midi;
      else
        return usage_error("--sync takes jack or midi, not ", value);
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
  const bool synced = opt.sync != live_sync::none;
  if (synced && !opt.live) return usage_error("--sync follows a tempo in live play; add --live", "");
  if (synced && opt.tuning.tempo != 0.0)
    return usage_error("--sync takes the tempo from outside; it does not take --tempo", "");
  if (opt.tuning.grain_beats != 0 && opt.tuning.tempo == 0.0 && !synced)
    return usage_error("--grain-beats divides the beat of --tempo or --sync; add --tempo", "");
  if (opt.tuning.tempo != 0.0 &&
      !beat_grid_fits(opt.tuning.tempo, tempo_grain_beats(opt.tuning)))
    return usage_error("--tempo and --grain-beats give grains outside 0.001 ... 10 s", "");
  return -1;
}
