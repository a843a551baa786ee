#include "engine/live/live_session.h"

#include <time.h>

#include <array>

#include "engine/mapping/note_lines.h"
#include "platform/interrupt.h"

namespace {

constexpr const char* gain_channel = "zelmora_live_gain";
constexpr std::chrono::milliseconds stall_limit{900};
constexpr std::size_t message_limit = 8192;

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
    s.api.score_event(s.csound, 'i', p.data(), static_cast<long>(p.size()), 0.0);
  }
}

void perform(std::shared_ptr<live_session> s) {
  block_broken_pipe();  // csound reconnecting to a dead JACK server writes to its socket
  double gain = 1.0;
  while (!s->stop.load()) {
    if (const double wanted = s->gain.load(); wanted != gain) {
      s->api.set_channel(s->csound, gain_channel, wanted);
      gain = wanted;
    }
    insert_queued_notes(*s);
    if (s->api.perform_ksmps(s->csound) != 0) {
      s->failed.store(true);
      break;
    }
    s->clock.store(s->api.score_time(s->csound));
    s->heartbeat.store(steady_ns());
    s->cpu.store(thread_cpu_seconds());
  }
  s->ended.store(true);
}

}  // namespace

void live_messages::keep(CSOUND* csound, int, const char* format, va_list args) {
  std::array<char, 1024> text;
  std::vsnprintf(text.data(), text.size(), format, args);
  auto* self = static_cast<live_messages*>(live_csound_api()->host_data(csound));
  const std::lock_guard<std::mutex> hold(self->lock_);
  self->text_ += text.data();
  if (self->text_.size() > message_limit) self->text_.erase(0, self->text_.size() - message_limit);
}

void live_messages::clear() {
  const std::lock_guard<std::mutex> hold(lock_);
  text_.clear();
}

std::string live_messages::text() const {
  const std::lock_guard<std::mutex> hold(lock_);
  return text_;
}

std::string live_messages::last_lines(int count) const {
  std::string lines = text();
  if (!lines.empty() && lines.back() != '\n') lines += '\n';
  std::size_t from = lines.size() - (lines.empty() ? 0 : 1);
  for (int n = 0; n < count && from != std::string::npos && from > 0; ++n)
    from = lines.rfind('\n', from - 1);
  return from == std::string::npos ? lines : lines.substr(from + 1);
}

void live_session::on_iteration(const iteration& it) {
  if (score) write_note_lines(score, it.notes);
  if (design && *design != design_sent && designs.push(*design)) design_sent = *design;
  for (note n : it.notes) {
    n.start += origin;
    queue.push(n);  // room was made sure of before the iteration
  }
}

bool live_session::performer_gone_quiet() const {
  return steady_ns() - heartbeat.load() > std::chrono::nanoseconds(stall_limit).count();
}

void start_performer(const std::shared_ptr<live_session>& s) {
  s->heartbeat.store(steady_ns());
  s->performer = std::thread(perform, s);
}

std::optional<double> end_performer(live_session& s) {
  s.stop.store(true);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::duration<double>(live_stop_wait);
  while (!s.ended.load() && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  // csound left by a failure of its audio module keeps its own lock held:
  // any further call would wait for good.
  if (!s.ended.load() || s.failed.load()) {
    s.performer.detach();  // csound is left as it is
    return std::nullopt;
  }
  s.performer.join();
  const broken_pipe_guard quiet_pipes;  // the audio server may be gone
  s.api.cleanup(s.csound);
  s.api.destroy(s.csound);
  return s.cpu.load();
}
