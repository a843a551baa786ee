#include <algorithm>

#include "control/control_change.h"
#include "control/control_log.h"

namespace {

// Changes that only the last of matters: a value, a flag.
bool replaceable(control_kind kind) {
  return kind != control_kind::load && kind != control_kind::session_open;
}

bool same_control(const control_change& a, const control_change& b) {
  // Only the last note-on counts, whatever its key.
  return a.kind == b.kind && (a.kind == control_kind::note || a.index == b.index);
}

}  // namespace

bool control_queue::push(control_change change) {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    if (replaceable(change.kind)) {
      // Back to the last load: across it, order matters.
      for (auto it = pending_.rbegin(); it != pending_.rend() && it->kind != control_kind::load; ++it)
        if (same_control(*it, change)) {
          pending_.erase(std::next(it).base());
          break;
        }
    }
    if (pending_.size() >= capacity) return refuse(capacity, "changes");
    if (change.kind == control_kind::load && loads_ >= max_loads) return refuse(max_loads, "loads");
    if (change.kind == control_kind::load) ++loads_;
    pending_.push_back(std::move(change));
  }
  wake();
  return true;
}

bool control_queue::refuse(std::size_t limit, const char* what) {
  ++refused_;
  control_log("outside control: change refused, %zu %s wait already (%zu refused so far)", limit,
              what, refused_);
  return false;
}

std::vector<control_change> control_queue::take_all() {
  std::vector<control_change> taken;
  const std::lock_guard<std::mutex> hold(lock_);
  taken.swap(pending_);
  loads_ = 0;
  return taken;
}

std::vector<control_change> control_queue::take_until_load() {
  const std::lock_guard<std::mutex> hold(lock_);
  auto end = std::find_if(pending_.begin(), pending_.end(),
                          [](const control_change& c) { return c.kind == control_kind::load; });
  if (end != pending_.end()) {
    ++end;
    --loads_;
  }
  std::vector<control_change> taken(std::make_move_iterator(pending_.begin()),
                                    std::make_move_iterator(end));
  pending_.erase(pending_.begin(), end);
  return taken;
}

std::size_t control_queue::refused() const {
  const std::lock_guard<std::mutex> hold(lock_);
  return refused_;
}

void control_queue::set_wake(std::function<void()> wake) {
  const std::lock_guard<std::mutex> hold(lock_);
  wake_ = std::move(wake);
}

void control_queue::wake() {
  std::function<void()> wake;
  {
    const std::lock_guard<std::mutex> hold(lock_);
    wake = wake_;
  }
  if (wake) wake();
}

control_queue& control_inbox() {
  static control_queue inbox;
  return inbox;
}
