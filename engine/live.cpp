#include "engine/live.h"

#include <csound/csound.h>
#include <dlfcn.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/iteration.h"
#include "engine/orchestra.h"
#include "engine/orchestra_file.h"
#include "engine/render.h"
#include "engine/report.h"

namespace {

constexpr const char* csound_library = "libcsound64.so.6.0";
constexpr const char* gain_channel = "zelmora_live_gain";
constexpr double fade_time = 0.05;   // seconds from full level to silence
constexpr double stop_wait = 1.0;    // wall-clock limit on waiting for csound
constexpr std::size_t message_limit = 8192;
constexpr std::chrono::milliseconds feed_budget{20};

// Runs after the orchestra's output instrument and scales everything it put
// out by the gain channel: Stop ramps it to 0 instead of cutting the sound.
constexpr const char* fade_instrument =
    "chn_k \"zelmora_live_gain\", 1\n"
    "chnset 1, \"zelmora_live_gain\"\n"
    "instr zelmora_live_fade\n"
    "  kgain chnget \"zelmora_live_gain\"\n"
    "  kgain portk kgain, 0.005, 1\n"
    "  aleft, aright monitor\n"
    "  outs  -aleft * (1 - kgain), -aright * (1 - kgain)\n"
    "endin\n";

// csound's API, found at run time so that the program runs (and says why
// live play is missing) on a system without it.
struct csound_api {
  void* library = nullptr;
  decltype(&csoundInitialize) initialize = nullptr;
  decltype(&csoundCreate) create = nullptr;
  decltype(&csoundDestroy) destroy = nullptr;
  decltype(&csoundSetOption) set_option = nullptr;
  decltype(&csoundSetMessageCallback) set_message_callback = nullptr;
  decltype(&csoundCompileCsdText) compile_csd_text = nullptr;
  decltype(&csoundCompileOrc) compile_orc = nullptr;
  decltype(&csoundStart) start = nullptr;
  decltype(&csoundPerformKsmps) perform_ksmps = nullptr;
  decltype(&csoundGetScoreTime) score_time = nullptr;
  decltype(&csoundInputMessage) input_message = nullptr;
  decltype(&csoundScoreEventAbsolute) score_event = nullptr;
  decltype(&csoundSetControlChannel) set_channel = nullptr;
  decltype(&csoundCleanup) cleanup = nullptr;
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
                   find(api.compile_csd_text, "csoundCompileCsdText") &&
                   find(api.compile_orc, "csoundCompileOrc") && find(api.start, "csoundStart") &&
                   find(api.perform_ksmps, "csoundPerformKsmps") &&
                   find(api.score_time, "csoundGetScoreTime") &&
                   find(api.input_message, "csoundInputMessage") &&
                   find(api.score_event, "csoundScoreEventAbsolute") &&
                   find(api.set_channel, "csoundSetControlChannel") &&
                   find(api.cleanup, "csoundCleanup");
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

// One live play; a sink for the notes of its render.
struct live_session final : iteration_sink {
  CSOUND* csound = nullptr;
  std::thread performer;
  std::atomic<bool> stop{false};
  std::atomic<bool> ended{false};     // csound's performance ended by itself
  std::atomic<double> clock{0.0};     // csound's score time after its last cycle
  render_run run;
  double origin = 0.0;  // csound's time of iteration 0
  bool computing = false;
  std::FILE* score = nullptr;

  void on_iteration(const iteration& it) override;
};

std::unique_ptr<live_session> session;
int late = 0;
int last_status = render_complete;

void perform(live_session* s) {
  while (!s->stop.load()) {
    if (api.perform_ksmps(s->csound) != 0) break;
    s->clock.store(api.score_time(s->csound));
  }
  s->ended.store(true);
}

bool failed_start(const std::unique_ptr<live_session>& s, const char* what,
                  const std::string& detail) {
  report_error("Live play failed: %s%s\n%s", what, detail.c_str(), last_messages().c_str());
  if (s->csound) api.destroy(s->csound);
  return false;
}

std::string csd_text(const std::string& orchestra) {
  return "<CsoundSynthesizer>\n<CsInstruments>\n" + orchestra +
         "\n</CsInstruments>\n<CsScore>\n" + score_header + "f0 z\n</CsScore>\n</CsoundSynthesizer>\n";
}

void live_session::on_iteration(const iteration& it) {
  if (score) write_note_lines(score, it.notes);
  for (const note& n : it.notes) {
    std::array<MYFLT, 5> p{static_cast<MYFLT>(n.instrument), n.start + origin, n.duration,
                           n.amplitude, n.frequency};
    api.score_event(csound, 'i', p.data(), static_cast<long>(p.size()), 0.0);
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

void end_session() {
  const std::unique_ptr<live_session> s = std::move(session);
  remove_iteration_sink(*s);
  s->stop.store(true);
  if (s->performer.joinable()) s->performer.join();
  api.cleanup(s->csound);
  api.destroy(s->csound);
  if (s->score && std::ferror(s->score) != 0 && last_status == render_complete)
    last_status = render_write_failed;
}

bool start_session(const live_settings& settings) {
  const std::string path = settings.orchestra.empty() ? orchestra_path() : settings.orchestra;
  const std::optional<std::string> orchestra = read_orchestra(path);
  if (!orchestra) return false;
  {
    const std::lock_guard<std::mutex> hold(message_lock);
    messages.clear();
  }
  auto s = std::make_unique<live_session>();
  s->csound = api.create(nullptr);
  if (!s->csound) return failed_start(s, "csound could not be set up", "");
  api.set_message_callback(s->csound, keep_message);
  for (const std::string option : {"-d", "-odac", "-+msg_color=0"})
    api.set_option(s->csound, option.c_str());
  if (!settings.rtaudio.empty())
    api.set_option(s->csound, ("-+rtaudio=" + settings.rtaudio).c_str());
  if (api.compile_csd_text(s->csound, csd_text(*orchestra).c_str()) != 0)
    return failed_start(s, "csound refused the orchestra ", path);
  if (api.start(s->csound) != 0)
    return failed_start(s, "no audio output",
                        settings.rtaudio.empty() ? "" : " through " + settings.rtaudio);
  if (api.compile_orc(s->csound, fade_instrument) != 0)
    return failed_start(s, "csound refused the fade instrument", "");
  api.input_message(s->csound, "i \"zelmora_live_fade\" 0 -1");
  s->score = settings.score;
  if (s->score) std::fputs(score_header, s->score);
  s->performer = std::thread(perform, s.get());
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
         std::chrono::steady_clock::now() < budget_end)
    compute_iteration(s, now);
  const double last_end = s.origin + (s.run.next == 0 ? 0.0 : s.run.start + s.run.dur);
  if (s.ended.load() || (!s.computing && now >= last_end + fade_time)) {
    // The audio device gone, say, before the render was over.
    if (s.ended.load() && s.computing) report_error("Live play ended: csound stopped playing\n");
    end_session();
    return false;
  }
  return true;
}

void live_stop() {
  if (!session) return;
  live_session& s = *session;
  s.computing = false;
  api.set_channel(s.csound, gain_channel, 0.0);
  const double until = s.clock.load() + fade_time;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::duration<double>(stop_wait);
  while (!s.ended.load() && s.clock.load() < until && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  end_session();
}

bool live_playing() { return session != nullptr; }
int live_late_iterations() { return late; }
int live_status() { return last_status; }
double live_clock() { return session ? session->clock.load() - session->origin : 0.0; }
