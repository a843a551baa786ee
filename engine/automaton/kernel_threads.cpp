#include "engine/automaton/kernel_threads.h"

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

int environment_threads() {
  const char* text = std::getenv("ZELMORA_THREADS");
  return text != nullptr && std::strcmp(text, "1") == 0 ? 1 : max_kernel_threads;
}

std::atomic<int> chosen_threads{0};

// Kernels come in quick succession within an iteration: a waiting side
// first polls for a few microseconds before it sleeps, so it is not woken
// through the scheduler each time.
constexpr int polls_before_sleep = 2000;

template <typename Value>
void wait_while_equal(const std::atomic<Value>& value, Value old) {
  for (int i = 0; i < polls_before_sleep; ++i) {
    if (value.load(std::memory_order_acquire) != old) return;
    _mm_pause();
  }
  value.wait(old, std::memory_order_acquire);
}

// Rows are handed out in chunks from both ends: the caller takes them from
// the first row on, the worker from the last row back. When both run,
// each ends up with about its half, the same half in every kernel, so
// the rows a thread stepped are still in its cache when it reduces them.
// When the worker runs late (its core busy with other work) the caller
// goes on into its half rather than waiting for it. Each body call sees
// whole rows, so which thread ran a chunk never shows in the results.
//
// One atomic word holds the call's number, the row count and the two
// ends: a worker that wakes after its call has ended finds another
// number and leaves the call alone.
constexpr int row_bits = 11;
constexpr int max_dealt_rows = (1 << row_bits) - 1;

class row_dealer {
 public:
  using body_type = row_pool::body_type;

  // Opens a call `count` rows long; the worker may join it from now on.
  void open(int count, const body_type& body) {
    body_ = &body;
    done_.store(0, std::memory_order_relaxed);
    call_ = (call_ + 1) & call_mask;
    if (call_ == 0) call_ = 1;  // 0 is the worker's "no call yet"
    state_.store(pack({call_, count, 0, count}), std::memory_order_release);
  }

  // Runs chunks of call `call` until none is left: part 0 from the front,
  // part 1 from the back.
  void take_chunks(unsigned call, int part) {
    std::uint64_t s = state_.load(std::memory_order_acquire);
    for (;;) {
      fields f = unpack(s);
      if (f.call != call || f.front >= f.back) return;
      const int chunk = (f.count + 15) / 16;  // about sixteen a call
      const int first = part == 0 ? f.front : std::max(f.front, f.back - chunk);
      const int last = part == 0 ? std::min(f.back, f.front + chunk) : f.back;
      if (part == 0)
        f.front = last;
      else
        f.back = first;
      if (!state_.compare_exchange_weak(s, pack(f), std::memory_order_acq_rel)) continue;
      (*body_)(part, first, last);  // the call waits for this chunk, so body_ still holds
      done_.fetch_add(last - first, std::memory_order_release);
      done_.notify_one();
      s = state_.load(std::memory_order_acquire);
    }
  }

  // Waits until every row of the open call is done.
  void wait_for(int count) {
    for (int done = done_.load(std::memory_order_acquire); done != count;
         done = done_.load(std::memory_order_acquire))
      wait_while_equal(done_, done);
  }

  unsigned current_call() const { return call_; }

 private:
  static constexpr unsigned call_mask = (1u << (64 - 3 * row_bits)) - 1;

  struct fields {
    unsigned call;
    int count, front, back;  // rows [front, back) are not yet taken
  };
  static std::uint64_t pack(const fields& f) {
    return static_cast<std::uint64_t>(f.call) << (3 * row_bits) |
           static_cast<std::uint64_t>(f.count) << (2 * row_bits) |
           static_cast<std::uint64_t>(f.front) << row_bits | static_cast<std::uint64_t>(f.back);
  }
  static fields unpack(std::uint64_t s) {
    constexpr std::uint64_t rows = max_dealt_rows;
    return {static_cast<unsigned>(s >> (3 * row_bits)), static_cast<int>(s >> (2 * row_bits) & rows),
            static_cast<int>(s >> row_bits & rows), static_cast<int>(s & rows)};
  }

  std::atomic<std::uint64_t> state_{0};
  std::atomic<int> done_{0};
  unsigned call_ = 0;  // the caller's own
  const body_type* body_ = nullptr;
};

// One worker that sleeps on the number of the last call it was told of.
// It polls briefly, then sleeps in a futex wait, so an idle worker costs
// nothing.
class worker {
 public:
  explicit worker(row_dealer& dealer) : dealer_(dealer), thread_([this] { serve(); }) {}
  ~worker() {
    stopping_.store(true);
    posted_.fetch_add(1);
    posted_.notify_one();
    thread_.join();
  }
  worker(const worker&) = delete;
  worker& operator=(const worker&) = delete;

  void announce(unsigned call) {
    posted_.store(call, std::memory_order_release);
    posted_.notify_one();
  }

 private:
  void serve() {
    unsigned seen = 0;
    for (;;) {
      wait_while_equal(posted_, seen);
      seen = posted_.load(std::memory_order_acquire);
      if (stopping_.load()) return;
      dealer_.take_chunks(seen, 1);
    }
  }

  row_dealer& dealer_;
  std::atomic<unsigned> posted_{0};
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace

struct row_pool::threads {
  row_dealer dealer;
  worker serving{dealer};
};

row_pool::row_pool() = default;
row_pool::~row_pool() = default;

int kernel_threads() {
  static const int from_environment = environment_threads();
  const int chosen = chosen_threads.load(std::memory_order_relaxed);
  return chosen != 0 ? chosen : from_environment;
}

void set_kernel_threads(int threads) {
  chosen_threads.store(std::clamp(threads, 0, max_kernel_threads), std::memory_order_relaxed);
}

void row_pool::run_rows(int count, bool split, const body_type& body) {
  if (count <= 0) return;
  if (!split || count < 2 || count > max_dealt_rows || kernel_threads() < 2) {
    body(0, 0, count);
    return;
  }
  const std::unique_lock<std::mutex> hold(busy_, std::try_to_lock);
  if (!hold.owns_lock()) {  // the worker serves another caller
    body(0, 0, count);
    return;
  }
  if (!threads_) threads_ = std::make_unique<threads>();
  row_dealer& dealer = threads_->dealer;
  dealer.open(count, body);
  threads_->serving.announce(dealer.current_call());
  dealer.take_chunks(dealer.current_call(), 0);
  dealer.wait_for(count);
}

row_pool& shared_row_pool() {
  static row_pool pool;
  return pool;
}
