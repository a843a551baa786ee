#include "engine/live/live_session.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/mapping/note_lines.h"

void live_messages::keep(CSOUND* csound, int, const char* format, va_list args) {
  std::array<char, 512> text;
  std::vsnprintf(text.data(), text.size(), format, args);
  static_cast<live_messages*>(live_csound_api()->host_data(csound))->add(text.data());
}

// The oldest text makes room for the newest.
void live_messages::add(const char* text) {
  const std::unique_lock<std::mutex> hold(lock_, std::try_to_lock);
  if (!hold.owns_lock()) return;
  const std::size_t length = std::min(std::strlen(text), size);
  if (length_ + length > size) {
    const std::size_t drop = length_ + length - size;
    std::memmove(text_, text_ + drop, length_ - drop);
    length_ -= drop;
  }
  std::memcpy(text_ + length_, text, length);
  length_ += length;
}

std::string live_messages::text() const {
  const std::lock_guard<std::mutex> hold(lock_);
  return {text_, length_};
}

std::string live_messages::last_lines(int count) const {
  std::string lines = text();
  if (lines.empty()) return lines;
  if (lines.back() != '\n') lines += '\n';
  std::size_t from = lines.size() - 1;
  for (int n = 0; n < count && from != std::string::npos && from > 0; ++n)
    from = lines.rfind('\n', from - 1);
  return from == std::string::npos ? lines : lines.substr(from + 1);
}

// Synced, the notes start when the audio side decided, in the take too.
void live_session::on_iteration(const iteration& it) {
  if (!synced) return send(it.notes);
  std::array<note, max_instruments> moved;
  const std::size_t count = std::min(it.notes.size(), moved.size());
  for (std::size_t i = 0; i < count; ++i) {
    moved[i] = it.notes[i];
    moved[i].start = start_now - origin;
  }
  send({moved.data(), count});
}

void live_session::send(std::span<const note> notes) {
  if (score) write_note_lines(score, notes);
  if (design && *design != design_sent && designs.push(*design)) design_sent = *design;
  for (note n : notes) {
    n.start += origin;
    queue.push(n);  // room was made sure of before the iteration
  }
}

std::int64_t live_now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
