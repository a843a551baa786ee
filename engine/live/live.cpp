#include "engine/live/live.h"

#include <csound/csound.h>
#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <thread>

#include "dsp/grain_inbox.h"
#include "engine/csound/csound_command.h"
#include "engine/csound/grain_plugin.h"
#include "platform/interrupt.h"
#include "platform/temporary_file.h"
#include "engine/render/iteration.h"
#include "dsp/note_queue.h"
#include "engine/csound/orchestra.h"
#include "engine/csound/orchestra_file.h"
#include "engine/externs.h"
#include "engine/render/render.h"
#include "engine/report.h"
#include "engine/types.h"

namespace {

constexpr const char* csound_library = "libcsound64.so.6.0";
constexpr const char* gain_channel = "zelmora_live_gain";
constexpr double fade_time = 0.05;   // seconds from full level to silence
constexpr double stop_wait = 0.5;    // wall-clock limit on waiting for csound
// A performer that has not finished a control period for this long is stuck
// in an audio device that no longer takes sound.
constexpr std::chrono::milliseconds stall_limit{900};
constexpr std::size_t message_limit = 8192;
constexpr std::chrono::milliseconds feed_budget{20};

// csound's API, found at run time so that the program runs (and says why
// live play is missing) on a system without it.
struct csound_api {
  void* library = nullptr;
  decltype(&csoundInitialize) initialize = nullptr;
  decltype(&csoundCreate) create = nullptr;
  decltype(&csoundDestroy) destroy = nullptr;
  decltype(&csoundSetOption) set_option = nullptr;
  decltype(&csoundSetMessageCallback) set_message_callback = nullptr;
  decltype(&csoundCompileArgs) compile_args = nullptr;
  decltype(&csoundStart) start = nullptr;
  decltype(&csoundCompileOrc) compile_orc = nullptr;
  decltype(&csoundPerformKsmps) perform_ksmps = nullptr;
  decltype(&csoundGetScoreTime) score_time = nullptr;
  decltype(&csoundInputMessage) input_message = nullptr;
  decltype(&csoundScoreEventAbsolute) score_event = nullptr;
  decltype(&csoundSetControlChannel) set_channel = nullptr;
  decltype(&csoundCleanup) cleanup = nullptr;
  decltype(&csoundGetModule) get_module = nullptr;
  decltype(&csoundCreateGlobalVariable) create_global = nullptr;
  decltype(&csoundQueryGlobalVariable) query_global = nullptr;
};

csound_api api;

template <typename F>
bool find(F& f, const char* name) {
  f = reinterpret_cast<F>(dlsym(api.library, name));
  return f != nullptr;
}

bool load_api() {
  if (api.library) return true;
  api.library = dlopen(csound_library, RTLD_NOW | RTLD_LOCAL);
  if (!api.library) {
    report_error("Live play needs csound's library %s, which could not be loaded\n",
                 csound_library);
    return false;
  }
  const bool all = find(api.initialize, "csoundInitialize") && find(api.create, "csoundCreate") &&
                   find(api.destroy, "csoundDestroy") && find(api.set_option, "csoundSetOption") &&
                   find(api.set_message_callback, "csoundSetMessageCallback") &&
                   find(api.compile_args, "csoundCompileArgs") &&
                   find(api.start, "csoundStart") &&
                   find(api.compile_orc, "csoundCompileOrc") &&
                   find(api.perform_ksmps, "csoundPerformKsmps") &&
                   find(api.score_time, "csoundGetScoreTime") &&
                   find(api.input_message, "csoundInputMessage") &&
                   find(api.score_event, "csoundScoreEventAbsolute") &&
                   find(api.set_channel, "csoundSetControlChannel") &&
                   find(api.cleanup, "csoundCleanup") &&
                   find(api.get_module, "csoundGetModule") &&
                   find(api.create_global, "csoundCreateGlobalVariable") &&
                   find(api.query_global, "csoundQueryGlobalVariable");
  if (!all) {
    report_error("csound's library %s lacks a function live play needs\n", csound_library);
    dlclose(api.library);
    api.library = nullptr;
    return false;
  }
  // csound must leave Ctrl-C and the process's exit to the program.
  api.initialize(CSOUNDINIT_NO_SIGNAL_HANDLER | CSOUNDINIT_NO_ATEXIT);
  return true;
}

// csound's messages are kept (the last few kilobytes) to explain a failure.
std::mutex message_lock;
std::string messages;

void keep_message(CSOUND*, int, const char* format, va_list args) {
  std::array<char, 1024> text;
  std::vsnprintf(text.data(), text.size(), format, args);
  const std::lock_guard<std::mutex> hold(message_lock);
  messages += text.data();
  if (messages.size() > message_limit) messages.erase(0, messages.size() - message_limit);
}

std::string last_messages() {
  const std::lock_guard<std::mutex> hold(message_lock);
  return messages;
}

// The last `count` lines csound said, each ending in a newline.
std::string last_message_lines(int count) {
  std::string text = last_messages();
  if (!text.empty() && text.back() != '\n') text += '\n';
  std::size_t from = text.size() - (text.empty() ? 0 : 1);
  for (int n = 0; n < count && from != std::string::npos && from > 0; ++n)
    from = text.rfind('\n', from - 1);
  return from == std::string::npos ? text : text.substr(from + 1);
}

// One live play, a sink for the notes of its render. The engine's thread
// computes and queues the notes; the performer thread alone calls csound
// once it runs.
struct live_session final : iteration_sink {
  CSOUND* csound = nullptr;
  std::thread performer;
  std::atomic<bool> stop{false};
  std::atomic<bool> ended{false};     // the performer thread has returned
  std::atomic<bool> failed{false};    // csound's performance ended by itself
  std::atomic<double> clock{0.0};     // csound's score time after its last cycle
  std::atomic<double> gain{1.0};      // 0: fade out
  std::atomic<std::int64_t> heartbeat{0};  // steady-clock ns of the last cycle
  std::atomic<double> cpu{0.0};       // CPU seconds the performer thread used
  std::chrono::steady_clock::time_point began = std::chrono::steady_clock::now();
  live_note_queue queue;
  // The grain design on its way to the voices, when it changes.
  spsc_ring<grain_design, 8> designs;
  grain_design design_sent;
  grain_inbox* inbox = nullptr;  // the voices' opcode's, when the orchestra has it
  render_run run;
  double origin = 0.0;  // csound's time of iteration 0
  bool computing = false;
  std::FILE* score = nullptr;

  void on_iteration(const iteration& it) override;
};

std::shared_ptr<live_session> session;
int late = 0;
int last_status = render_complete;
double last_cpu = 0.0;
double last_played = 0.0;
double last_wall = 0.0;

std::int64_t steady_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double thread_cpu_seconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The orchestra's voices' opcode takes the notes straight from its inbox,
// as many as it has room for; any other orchestra gets score events.
void insert_queued_notes(live_session& s) {
  note n;
  if (s.inbox) {
    for (grain_design d; s.designs.pop(d);) {
      s.inbox->design = d;
      s.inbox->design_waiting = true;
    }
    while (s.inbox->count < grain_inbox::capacity && s.queue.pop(n))
      s.inbox->notes[s.inbox->count++] = n;
    return;
  }
  while (s.queue.pop(n)) {
    std::array<MYFLT, 5> p{static_cast<MYFLT>(n.instrument), n.start, n.duration, n.amplitude,
                           n.frequency};
    api.score_event(s.csound, 'i', p.data(), static_cast<long>(p.size()), 0.0);
  }
}

// The thread holds the session too: one it had to be left running in (a
// dead device) stays valid for it.
void perform(std::shared_ptr<live_session> s) {
  block_broken_pipe();  // csound reconnecting to a dead JACK server writes to its socket
  double gain = 1.0;
  while (!s->stop.load()) {
    if (const double wanted = s->gain.load(); wanted != gain) {
      api.set_channel(s->csound, gain_channel, wanted);
      gain = wanted;
    }
    insert_queued_notes(*s);
    if (api.perform_ksmps(s->csound) != 0) {
      s->failed.store(true);
      break;
    }
    s->clock.store(api.score_time(s->csound));
    s->heartbeat.store(steady_ns());
    s->cpu.store(thread_cpu_seconds());
  }
  s->ended.store(true);
}

bool failed_start(const std::shared_ptr<live_session>& s, const char* what,
                  const std::string& detail) {
  report_error("Live play failed: %s%s\n%s", what, detail.c_str(), last_messages().c_str());
  if (s->csound) api.destroy(s->csound);
  return false;
}

std::string csd_text(const std::string& orchestra) {
  return "<CsoundSynthesizer>\n<CsInstruments>\n" + orchestra +
         "\n</CsInstruments>\n<CsScore>\n" + score_header + "f0 z\n</CsScore>\n</CsoundSynthesizer>\n";
}

// Queues the iteration's notes for the performer, on csound's clock.
void live_session::on_iteration(const iteration& it) {
  if (score) write_note_lines(score, it.notes);
  if (Grain_Design != design_sent && designs.push(Grain_Design)) design_sent = Grain_Design;
  for (note n : it.notes) {
    n.start += origin;
    queue.push(n);  // room was made sure of before the iteration
  }
}

void compute_iteration(live_session& s, double now) {
  const bool go_on = render_iteration(s.run);
  if (s.origin + s.run.start < now) ++late;
  if (!go_on) {
    last_status = render_abandoned;
    s.computing = false;
  } else if (s.run.next >= s.run.iterations) {
    s.computing = false;
  }
}

bool performer_gone_quiet(const live_session& s) {
  return steady_ns() - s.heartbeat.load() > std::chrono::nanoseconds(stall_limit).count();
}

// Ends the performer and csound. A performer stuck in a dead audio device
// is left where it is, with its session.
void end_session() {
  std::shared_ptr<live_session> s = std::move(session);
  remove_iteration_sink(*s);
  last_played = s->clock.load() - s->origin;
  last_wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - s->began).count() -
              live_look_ahead;
  s->stop.store(true);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::duration<double>(stop_wait);
  while (!s->ended.load() && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (s->score && std::ferror(s->score) != 0 && last_status == render_complete)
    last_status = render_write_failed;
  // csound left by a failure of its audio module keeps its own lock held:
  // any further call would wait for good.
  if (!s->ended.load() || s->failed.load()) {
    s->performer.detach();  // csound is left as it is
    return;
  }
  s->performer.join();
  last_cpu = s->cpu.load();
  const broken_pipe_guard quiet_pipes;  // the audio server may be gone
  api.cleanup(s->csound);
  api.destroy(s->csound);
}

// The audio modules of a csound instance.
std::vector<std::string> modules_of(CSOUND* csound) {
  std::vector<std::string> names;
  char* name = nullptr;
  char* type = nullptr;
  for (int n = 0; api.get_module(csound, n, &name, &type) == CSOUND_SUCCESS; ++n)
    if (name && type && std::strcmp(type, "audio") == 0) names.emplace_back(name);
  return names;
}

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
  return text;
}

// Refuses a module this csound lacks, naming the ones it has.
bool module_known(CSOUND* csound, const std::string& module) {
  if (module.empty()) return true;
  const std::vector<std::string> modules = modules_of(csound);
  if (std::find(modules.begin(), modules.end(), module) != modules.end()) return true;
  report_error("Live play: csound has no audio module \"%s\"; it has: %s\n", module.c_str(),
               joined(modules).c_str());
  return false;
}

// An orchestra of one channel: live play doubles it onto the second.
bool declares_mono(const std::string& orchestra) {
  static const std::regex header(R"(^\s*nchnls\s*=\s*1\s*(;.*)?$)",
                                 std::regex::multiline);
  return std::regex_search(orchestra, header);
}

// Runs after the orchestra's own instruments and scales everything they put
// out by the gain channel: Stop ramps it to 0 instead of cutting the sound.
std::string fade_instrument(bool mono) {
  std::string text =
      "chn_k \"zelmora_live_gain\", 1\n"
      "chnset 1, \"zelmora_live_gain\"\n"
      "instr zelmora_live_fade\n"
      "  kgain chnget \"zelmora_live_gain\"\n"
      "  kgain portk kgain, 0.005, 1\n"
      "  again interp kgain\n"
      "  a1, a2 monitor\n";
  // Channel 2 of a one-channel orchestra is silent until it gets channel 1.
  text += mono ? "  outch 1, -a1 * (1 - again), 2, a1 * again\n"
               : "  outch 1, -a1 * (1 - again), 2, -a2 * (1 - again)\n";
  return text + "endin\n";
}

// csound's command line for live play: both speakers sound; a JACK server's
// rate is the one it runs at.
csound_command output_options(const live_settings& settings) {
  csound_command command{{"-d", "-m0", "-+msg_color=0", "--nchnls=2"}, {}};
  std::vector<std::string>& words = command.options;
  if (!settings.rtaudio.empty()) words.push_back("-+rtaudio=" + settings.rtaudio);
  // Other modules open the device at the orchestra's rate (some would
  // report a rate of 1 Hz for a device without one).
  if (settings.rtaudio != "jack") {
    words.emplace_back("-odac");
    return command;
  }
  words.emplace_back("--use-system-sr");
  words.push_back(std::string("-+jack_client=") + live_jack_client);
  words.push_back(std::string("-+jack_outportname=") + live_jack_port_prefix);
  // The ports of the first playback device, in their natural order.
  words.emplace_back(settings.connect ? "-odac:playback_" : "-odac:null");
  return command;
}

// Compiles the orchestra the way csound's own command line does: only that
// way does csound open a JACK device early enough to learn its rate before
// the orchestra's header is read, and load a plugin named on it. The
// orchestra goes through a private temporary file, removed at once.
bool compile_with_words(CSOUND* csound, csound_command command, const std::string& orchestra) {
  const temporary_file csd(temporary_directory(), "zelmora-live-", ".csd");
  if (!csd.ok()) return false;
  const std::string text = csd_text(orchestra);
  const bool written =
      ::write(csd.fd(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
  command.files = {csd.path()};
  const std::vector<std::string> words = command.words();
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());
  return written && api.compile_args(csound, static_cast<int>(argv.size()), argv.data()) == 0;
}

csound_command with_plugin(csound_command command, const std::string& plugin) {
  if (!plugin.empty()) command.options.push_back(opcode_lib_option(plugin));
  return command;
}

bool compile_orchestra(CSOUND* csound, const live_settings& settings,
                       const std::string& orchestra, const std::string& plugin) {
  return compile_with_words(csound, with_plugin(output_options(settings), plugin), orchestra);
}

void ignore_message(CSOUND*, int, const char*, va_list) {}

// Whether the orchestra compiles at all, with no audio output.
bool orchestra_compiles(const std::string& orchestra, const std::string& plugin) {
  CSOUND* csound = api.create(nullptr);
  if (!csound) return false;
  api.set_message_callback(csound, ignore_message);
  const bool compiled =
      compile_with_words(csound, with_plugin({{"-n", "-d", "-m0"}, {}}, plugin), orchestra);
  api.destroy(csound);
  return compiled;
}

// The plugin an orchestra with the voices' opcode needs: empty for any
// other orchestra, none (said why) when it cannot be found.
std::optional<std::string> grain_plugin_for(const std::string& orchestra, const std::string& path) {
  if (!uses_grain_opcode(orchestra)) return "";
  const file_location plugin = find_grain_plugin();
  if (plugin.found) return plugin.path;
  report_error("Live play failed: the orchestra %s needs zelmora's csound plugin %s, which is "
               "missing (ZELMORA_PLUGIN can name it)\n",
               path.c_str(), plugin.path.c_str());
  return std::nullopt;
}

// The inbox the opcode finds by its name, made before csound compiles.
grain_inbox* make_inbox(CSOUND* csound) {
  if (api.create_global(csound, grain_inbox_name, sizeof(grain_inbox)) != CSOUND_SUCCESS)
    return nullptr;
  return std::construct_at(static_cast<grain_inbox*>(api.query_global(csound, grain_inbox_name)));
}

bool start_session(const live_settings& settings) {
  const std::string path = settings.orchestra.empty() ? orchestra_path() : settings.orchestra;
  const std::optional<std::string> orchestra = read_orchestra(path);
  if (!orchestra) return false;
  {
    const std::lock_guard<std::mutex> hold(message_lock);
    messages.clear();
  }
  // Covers the threads the audio module starts, and the performer.
  const broken_pipe_guard quiet_pipes;
  auto s = std::make_shared<live_session>();
  s->csound = api.create(nullptr);
  if (!s->csound) return failed_start(s, "csound could not be set up", "");
  api.set_message_callback(s->csound, keep_message);
  if (!module_known(s->csound, settings.rtaudio)) {
    api.destroy(s->csound);
    return false;
  }
  const std::optional<std::string> found_plugin = grain_plugin_for(*orchestra, path);
  if (!found_plugin) {
    api.destroy(s->csound);
    return false;
  }
  const std::string& plugin = *found_plugin;
  if (!plugin.empty()) s->inbox = make_inbox(s->csound);
  if (s->inbox) {
    s->inbox->design = s->design_sent = Grain_Design;
    s->inbox->design_waiting = true;
  }
  if (!compile_orchestra(s->csound, settings, *orchestra, plugin)) {
    // A device opened early for its rate fails the compile too.
    if (orchestra_compiles(*orchestra, plugin))
      return failed_start(s, "no audio output",
                          settings.rtaudio.empty() ? "" : " through " + settings.rtaudio);
    return failed_start(s, "csound refused the orchestra ", path);
  }
  if (api.start(s->csound) != 0)
    return failed_start(s, "no audio output",
                        settings.rtaudio.empty() ? "" : " through " + settings.rtaudio);
  if (api.compile_orc(s->csound, fade_instrument(declares_mono(*orchestra)).c_str()) != 0)
    return failed_start(s, "csound refused the fade instrument", "");
  api.input_message(s->csound, "i \"zelmora_live_fade\" 0 -1");
  s->score = settings.score;
  if (s->score) std::fputs(score_header, s->score);
  s->heartbeat.store(steady_ns());
  s->performer = std::thread(perform, s);
  s->run = start_render();
  s->computing = s->run.iterations > 0;
  s->origin = s->clock.load() + live_look_ahead;
  add_iteration_sink(*s);
  session = std::move(s);
  return true;
}

}  // namespace

int live_start(const live_settings& settings) {
  if (session) {
    report_error("Live play is already running\n");
    return -1;
  }
  late = 0;
  last_status = render_complete;
  last_cpu = 0.0;
  last_played = 0.0;
  last_wall = 0.0;
  if (!load_api() || !start_session(settings)) return -1;
  return 0;
}

bool live_feed() {
  if (!session) return false;
  live_session& s = *session;
  const double now = s.clock.load();
  // A caller with windows to serve gets control back now and then, even
  // when csound's clock runs faster than the iterations can be computed.
  const auto budget_end = std::chrono::steady_clock::now() + feed_budget;
  while (s.computing && !s.ended.load() &&
         s.origin + (s.run.next == 0 ? 0.0 : s.run.start + s.run.dur) <= now + live_look_ahead &&
         s.queue.size() + max_instruments <= live_note_queue::capacity &&
         std::chrono::steady_clock::now() < budget_end)
    compute_iteration(s, now);
  // The audio device gone, say: csound gave up, or hangs in it.
  if (s.failed.load() || performer_gone_quiet(s)) {
    report_error("Live play ended: the audio device stopped playing (%s)\n%s",
                 s.failed.load() ? "csound gave up on it" : "no sound taken for a while",
                 last_message_lines(1).c_str());
    last_status = live_device_lost;
    end_session();
    return false;
  }
  const double last_end = s.origin + (s.run.next == 0 ? 0.0 : s.run.start + s.run.dur);
  if (!s.computing && now >= last_end + fade_time) {
    end_session();
    return false;
  }
  return true;
}

void live_stop() {
  if (!session) return;
  live_session& s = *session;
  s.computing = false;
  s.gain.store(0.0);
  const double until = s.clock.load() + fade_time;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::duration<double>(stop_wait);
  while (!s.ended.load() && s.clock.load() < until && !performer_gone_quiet(s) &&
         std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  end_session();
}

std::string live_rtaudio_from_environment() {
  const char* module = std::getenv("ZELMORA_RTAUDIO");
  return module ? module : "";
}

std::vector<std::string> live_audio_modules() {
  if (!load_api()) return {};
  CSOUND* csound = api.create(nullptr);
  if (!csound) return {};
  api.set_message_callback(csound, keep_message);
  std::vector<std::string> modules = modules_of(csound);
  api.destroy(csound);
  return modules;
}

bool live_playing() { return session != nullptr; }
int live_late_iterations() { return late; }
int live_status() { return last_status; }
double live_clock() { return session ? session->clock.load() - session->origin : 0.0; }
double live_csound_cpu() { return last_cpu; }
double live_played() { return last_played; }
double live_wall_time() { return last_wall; }
