#include "engine/live/midi_clock.h"

#include <algorithm>

namespace {

constexpr int clocks_a_beat = 24;
constexpr int clocks_a_sixteenth = 6;
// A clock silent this long has stopped: its tempo is no longer known.
constexpr double clock_lost_after = 0.5;

// Frames from `from` to `to` on JACK's wrapping frame clock.
double frames_between(std::uint32_t from, std::uint32_t to) {
  return static_cast<std::int32_t>(to - from);
}

}  // namespace

void midi_clock::take(const unsigned char* bytes, std::size_t size, std::uint32_t frame) {
  if (size == 0) return;
  switch (bytes[0]) {
    case 0xF8:
      tick(frame);
      break;
    case 0xFA:  // the next clock is the song's first
      running_ = waiting_ = true;
      position_ = -1;
      break;
    case 0xFB:
      running_ = waiting_ = true;
      break;
    case 0xFC:
      running_ = false;
      break;
    case 0xF2:
      if (size >= 3 && !running_) {
        position_ = ((bytes[1] & 0x7F) | (bytes[2] & 0x7F) << 7) * clocks_a_sixteenth - 1;
        jumped_ = true;
      }
      break;
    default:
      break;
  }
}

void midi_clock::tick(std::uint32_t frame) {
  times_[seen_++ % kept] = frame;
  if (!running_) return;
  ++position_;
  if (waiting_) jumped_ = true;
  waiting_ = false;
}

// The least-squares slope of the clocks' frames over their count: each
// clock's own error (an input times them a period at a time) weighs less
// than in the span from the first to the last.
double midi_clock::mean_spacing() const {
  const std::size_t count = std::min(seen_, kept);
  const std::uint32_t first = times_[(seen_ - count) % kept];
  const double middle = (count - 1) / 2.0;
  double mean_frame = 0.0;
  for (std::size_t i = 0; i < count; ++i)
    mean_frame += frames_between(first, times_[(seen_ - count + i) % kept]) / count;
  double covariance = 0.0, variance = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    const double x = i - middle;
    covariance += x * (frames_between(first, times_[(seen_ - count + i) % kept]) - mean_frame);
    variance += x * x;
  }
  return covariance / variance;
}

transport_view midi_clock::at(std::uint32_t frame) {
  transport_view t;
  const std::uint32_t last = times_[(seen_ + kept - 1) % kept];
  t.has_tempo = seen_ >= 2 && frames_between(last, frame) < clock_lost_after * rate_;
  if (!t.has_tempo) return t;
  const double spacing = mean_spacing();
  t.bpm = rate_ * 60.0 / (spacing * clocks_a_beat);
  t.rolling = running_ && !waiting_;
  const double since = std::min(frames_between(last, frame) / spacing, 1.0);
  t.beat = (static_cast<double>(position_) + since) / clocks_a_beat;
  t.jumped = jumped_;
  jumped_ = false;
  return t;
}

bool is_clock_message(const unsigned char* bytes, std::size_t size) {
  return size > 0 && (bytes[0] == 0xF2 || (bytes[0] >= 0xF8 && bytes[0] <= 0xFC));
}

void midi_clock_inbox::offer(const unsigned char* bytes, std::size_t size, std::int64_t ns) {
  if (!listening_.load(std::memory_order_acquire) || !is_clock_message(bytes, size)) return;
  timed_midi m;
  std::copy_n(bytes, std::min(size, m.bytes.size()), m.bytes.begin());
  m.ns = ns;
  ring_.push(m);
}

void midi_clock_inbox::listen(bool on) {
  for (timed_midi stale; on && ring_.pop(stale);) {
  }
  listening_.store(on, std::memory_order_release);
}

midi_clock_inbox& midi_input_clock() {
  static midi_clock_inbox inbox;
  return inbox;
}
