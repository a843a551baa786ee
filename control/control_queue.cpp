#include "control/control_change.h"

void control_queue::push(control_change change) {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    pending_.push_back(std::move(change));
  }
  if (wake_) wake_();
}

std::vector<control_change> control_queue::take_all() {
  std::vector<control_change> taken;
  const std::lock_guard<std::mutex> hold(lock_);
  taken.swap(pending_);
  return taken;
}

void control_queue::set_wake(std::function<void()> wake) {
  const std::lock_guard<std::mutex> hold(lock_);
  wake_ = std::move(wake);
}

control_queue& control_inbox() {
  static control_queue inbox;
  return inbox;
}
