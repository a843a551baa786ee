// The audio callback keeps off the heap: malloc and free are replaced here
// and count the calls made inside a real-time section (zelmora's JACK
// process callback, csound's performance within it) while the rain preset
// plays at 1 ms grains on a JACK server. Its own executable: the replaced
// allocator covers the whole process, and a sanitizer brings its own.
#include <atomic>
#include <cstdlib>
#include <thread>

#include "engine/live/live.h"
#include "engine/live/live_session.h"
#include "engine/live/midi_clock.h"
#include "live_support.h"
#include "platform/real_time_section.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void __libc_free(void* p);
}

namespace {

std::atomic<long> heap_calls_in_real_time{0};

void count_heap_call() {
  if (real_time_section::active()) heap_calls_in_real_time.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) {
  count_heap_call();
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
  count_heap_call();
  return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
  count_heap_call();
  return __libc_realloc(p, size);
}
void free(void* p) {
  if (p) count_heap_call();
  __libc_free(p);
}
}

namespace {

TEST_F(live_test, TheAudioCallbackNeitherAllocatesNorFreesWhilePlaying) {
  const jack_server server(44100, 64);
  ASSERT_TRUE(server.running());
  {
    const file_ptr fp = open_for_reading(example("rain.csp"));
    ASSERT_EQ(read_parameter_file(fp.get(), Current_State, Mean_Mode, &Grain_Design), 0);
  }
  Current_State.dur = 0.001f;
  Current_State.iter = 5000;  // 5 s
  {
    const real_time_section marked;  // the hooks see what a section holds
    void* volatile kept = std::malloc(1);  // volatile: not optimised away
    std::free(kept);
  }
  ASSERT_EQ(heap_calls_in_real_time.exchange(0), 2);

  live_player player;
  live_settings on_jack;
  on_jack.rtaudio = "jack";
  ASSERT_EQ(player.start(on_jack), 0);
  while (player.update()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(player.status(), render_complete);
  EXPECT_GT(player.played(), 4.9);
  EXPECT_EQ(heap_calls_in_real_time.load(), 0);

  // Synced to MIDI clock from the input at about 100 BPM, 6.25 ms grains:
  // the clock's way through the callback too.
  Current_State.iter = 200;
  on_jack.sync = live_sync::midi;
  on_jack.grain_beats = 96;
  ASSERT_EQ(player.start(on_jack), 0);
  const unsigned char start = 0xFA, tick = 0xF8;
  midi_input_clock().offer(&start, 1, live_now_ns());
  while (player.update()) {
    midi_input_clock().offer(&tick, 1, live_now_ns());
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  EXPECT_EQ(player.status(), render_complete);
  EXPECT_EQ(heap_calls_in_real_time.load(), 0);
}

}  // namespace
