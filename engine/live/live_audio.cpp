#include "engine/live/live_audio.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <vector>

#include "platform/interrupt.h"

namespace {

constexpr const char* gain_channel = "zelmora_live_gain";
constexpr std::chrono::duration<double> stop_wait{0.5};
constexpr double signal_fade_time = 0.05;

double thread_cpu_seconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The orchestra's voices' opcode takes the notes straight from its inbox,
// as many as it has room for; any other orchestra gets score events (which
// csound allocates: only zelmora's voices play without).
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
    s.api.score_event(s.csound, 'i', p.data(), static_cast<long>(p.size()), 0.0);
  }
}

// csound's module left it broken (its own lock held): it, and the messages
// it may still write to, live as long as the program.
void park(std::shared_ptr<live_session> s) {
  static std::mutex lock;
  static std::vector<std::shared_ptr<live_session>> parked;
  const std::lock_guard<std::mutex> hold(lock);
  parked.push_back(std::move(s));
}

void destroy_csound(live_session& s) {
  const broken_pipe_guard quiet_pipes;  // the audio server may be gone
  s.api.cleanup(s.csound);
  s.api.destroy(s.csound);
  s.csound = nullptr;
}

std::atomic<live_session*> fading{nullptr};

// In a signal handler: the gain to 0, and a wait (of a tenth of a second at
// the most) while the audio side plays the fade.
void fade_before_exit() {
  live_session* s = fading.load();
  if (!s) return;
  s->gain.store(0.0);
  const double until = s->clock.load() + signal_fade_time;
  const timespec pause{0, 2'000'000};
  for (int tries = 0; tries < 50 && s->clock.load() < until && !s->device_lost.load(); ++tries)
    ::nanosleep(&pause, nullptr);
}

// Who ends csound once the performer thread is done: the player, unless it
// gave up waiting first.
enum : int { performing = 0, finished = 1, abandoned = 2 };

// A device that takes samples faster than it plays them (ALSA's null one, a
// driver gone wrong) would let csound race ahead at real-time priority and
// starve every other thread, the engine's too: play keeps to the wall
// clock, never further ahead than a device's buffer would let it.
constexpr double most_ahead = 0.25;  // seconds

void keep_to_wall_clock(const live_session& s, double clock_at_start, std::int64_t began_ns) {
  const double played = s.clock.load(std::memory_order_relaxed) - clock_at_start;
  const double ahead = played - static_cast<double>(live_now_ns() - began_ns) * 1e-9;
  if (ahead <= most_ahead) return;
  const auto pause_ns = static_cast<long>((ahead - most_ahead / 2) * 1e9);
  const timespec pause{pause_ns / 1'000'000'000, pause_ns % 1'000'000'000};
  ::nanosleep(&pause, nullptr);
}

void perform(std::shared_ptr<live_session> s, std::shared_ptr<std::atomic<bool>> stop,
             std::shared_ptr<std::atomic<int>> state) {
  block_broken_pipe();  // csound writing to a dead audio server
  try_real_time(20);
  const double cpu_before = thread_cpu_seconds();
  const double clock_at_start = s->clock.load();
  const std::int64_t began_ns = live_now_ns();
  while (!stop->load() && perform_period(*s)) {
    s->cpu.store(thread_cpu_seconds() - cpu_before);
    wake_engine_if_due(*s);
    keep_to_wall_clock(*s, clock_at_start, began_ns);
  }
  int expected = performing;
  if (state->compare_exchange_strong(expected, finished)) return;
  if (s->failed.load())
    park(std::move(s));
  else
    destroy_csound(*s);
}

}  // namespace

bool perform_period(live_session& s) {
  // The gain the fade instrument reads: only a change costs a look-up.
  if (const double wanted = s.gain.load(std::memory_order_relaxed); wanted != s.gain_set) {
    s.api.set_channel(s.csound, gain_channel, wanted);
    s.gain_set = wanted;
  }
  insert_queued_notes(s);
  if (s.api.perform_ksmps(s.csound) != 0) {
    s.failed.store(true);
    return false;
  }
  s.clock.store(s.api.score_time(s.csound), std::memory_order_release);
  s.heartbeat.store(live_now_ns(), std::memory_order_relaxed);
  return true;
}

void wake_engine_if_due(live_session& s) {
  if (s.clock.load(std::memory_order_relaxed) >= s.due_at.load(std::memory_order_relaxed))
    s.engine_wake.post();
}

void live_block_source::render(live_session& s, float* left, float* right,
                               std::uint32_t frames) {
  const double cpu_before = thread_cpu_seconds();
  const MYFLT* spout = s.api.spout(s.csound);
  const int channels = s.channels;
  const double scale = 1.0 / s.full_scale;
  std::uint32_t done = 0;
  while (done < frames) {
    if (!begun_ || used_ == s.ksmps) {
      if (s.failed.load(std::memory_order_relaxed) || !perform_period(s)) break;
      begun_ = true;
      used_ = 0;
    }
    const auto take = std::min<std::uint32_t>(frames - done, static_cast<std::uint32_t>(s.ksmps - used_));
    for (std::uint32_t i = 0; i < take; ++i) {
      const MYFLT* frame = spout + (used_ + static_cast<int>(i)) * channels;
      left[done + i] = static_cast<float>(frame[0] * scale);
      right[done + i] = static_cast<float>(frame[channels > 1 ? 1 : 0] * scale);
    }
    used_ += static_cast<int>(take);
    done += take;
  }
  std::fill(left + done, left + frames, 0.0f);
  std::fill(right + done, right + frames, 0.0f);
  s.cpu.store(s.cpu.load(std::memory_order_relaxed) + thread_cpu_seconds() - cpu_before,
              std::memory_order_relaxed);
}

live_performer::live_performer(std::shared_ptr<live_session> s) : session_(std::move(s)) {
  session_->heartbeat.store(live_now_ns());
  thread_ = std::thread(perform, session_, stop_, state_);
}

bool live_performer::stop() {
  if (!thread_.joinable()) return !session_->failed.load();
  stop_->store(true);
  const auto give_up = std::chrono::steady_clock::now() + stop_wait;
  while (state_->load() == performing && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  int expected = performing;
  if (state_->compare_exchange_strong(expected, abandoned)) {
    thread_.detach();  // the thread ends csound itself, if ever it can
    return false;
  }
  thread_.join();
  if (session_->failed.load()) {
    park(session_);
    return false;
  }
  destroy_csound(*session_);
  return true;
}

live_performer::~live_performer() { stop(); }

bool live_performer::quiet_for(double seconds) const {
  return static_cast<double>(live_now_ns() - session_->heartbeat.load()) * 1e-9 > seconds;
}

void set_live_signal_fade(live_session* s) {
  fading.store(s);
  set_signal_prelude(s ? fade_before_exit : nullptr);
}

void try_real_time(int priority) {
  sched_param param{};
  param.sched_priority = std::clamp(priority, sched_get_priority_min(SCHED_FIFO),
                                    sched_get_priority_max(SCHED_FIFO));
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}
