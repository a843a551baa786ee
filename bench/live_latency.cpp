// Control-to-sound latency of live play, end to end: a JACK client listens
// to zelmora's output ports while this program turns an instrument's
// amplitude from 0 to 1000 by OSC, and counts the JACK frames from the send
// to the first sample that sounds. Then back to 0 and, once all is quiet
// again, the next repetition.
//   zelmora_latency OSC_PORT [REPETITIONS]
// zelmora-render --live --rtaudio jack --osc-port OSC_PORT must be playing a
// set whose instrument 0 starts at amplitude 0 (bench/live_latency.sh).
#include <jack/jack.h>
#include <lo/lo.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr float sounding = 1e-3f;        // -60 dBFS: far below the tone, above any residue
constexpr double quiet_needed = 0.3;  // seconds of silence before the next try
constexpr std::chrono::seconds patience{15};  // a busy machine starts csound slowly
constexpr double not_heard = -1, doubtful = -2;

// What the process callback shares with the main thread.
struct listener {
  jack_client_t* client = nullptr;
  std::array<jack_port_t*, 2> ports{};
  std::atomic<bool> armed{false};           // waiting for the first sound
  std::atomic<bool> heard{false};
  std::atomic<jack_nframes_t> heard_at{0};  // frame time of that sample
  std::atomic<jack_nframes_t> quiet_frames{0};  // frames in a row without sound
  std::atomic<int> xruns{0};  // the server's, while the changes were timed
};

// The first sounding frame of the period on either channel, -1 for none.
int first_sounding(const listener& l, jack_nframes_t frames) {
  int first = -1;
  for (jack_port_t* port : l.ports) {
    const auto* samples = static_cast<const float*>(jack_port_get_buffer(port, frames));
    for (jack_nframes_t i = 0; i < frames; ++i) {
      if (std::fabs(samples[i]) <= sounding) continue;
      if (first < 0 || static_cast<int>(i) < first) first = static_cast<int>(i);
      break;
    }
  }
  return first;
}

int process(jack_nframes_t frames, void* arg) {
  auto& l = *static_cast<listener*>(arg);
  const int first = first_sounding(l, frames);
  l.quiet_frames.store(first < 0 ? l.quiet_frames.load() + frames : 0);
  if (first >= 0 && l.armed.load() && !l.heard.load()) {
    l.heard_at.store(jack_last_frame_time(l.client) + static_cast<jack_nframes_t>(first));
    l.heard.store(true);
  }
  return 0;
}

int count_xrun(void* arg) {
  ++static_cast<listener*>(arg)->xruns;
  return 0;
}

bool wait_until(const std::function<bool()>& done) {
  const auto give_up = std::chrono::steady_clock::now() + patience;
  while (!done()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return true;
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const double at = p * static_cast<double>(values.size() - 1);
  const auto below = static_cast<std::size_t>(at);
  const std::size_t above = std::min(below + 1, values.size() - 1);
  return values[below] + (values[above] - values[below]) * (at - static_cast<double>(below));
}

bool connect_to_zelmora(listener& l) {
  for (int channel = 0; channel < 2; ++channel) {
    const std::string from = "zelmora:channel_" + std::to_string(channel + 1);
    // Refused until zelmora's client is active.
    if (!wait_until([&] {
          return jack_connect(l.client, from.c_str(), jack_port_name(l.ports[channel])) == 0;
        })) {
      std::fprintf(stderr, "zelmora_latency: no port %s to listen to\n", from.c_str());
      return false;
    }
  }
  return true;
}

// One repetition: the latency in milliseconds; not_heard when no sound
// came, doubtful when it seemed to come before the send (after an xrun
// JACK's estimate of the current frame can run ahead of the cycles).
double one_change(listener& l, lo_address zelmora, double rate) {
  l.heard.store(false);
  l.armed.store(true);
  const jack_nframes_t sent_at = jack_frame_time(l.client);
  lo_send(zelmora, "/zelmora/instrument", "if", 0, 1000.0f);
  const bool heard = wait_until([&] { return l.heard.load(); });
  l.armed.store(false);
  lo_send(zelmora, "/zelmora/instrument", "if", 0, 0.0f);
  if (!heard) return not_heard;
  const auto frames = static_cast<std::int32_t>(l.heard_at.load() - sent_at);
  return frames < 0 ? doubtful : 1000.0 * frames / rate;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: zelmora_latency OSC_PORT [REPETITIONS]\n", stderr);
    return 2;
  }
  const int repetitions = argc > 2 ? std::atoi(argv[2]) : 50;
  listener l;
  l.client = jack_client_open("zelmora-latency", JackNoStartServer, nullptr);
  if (!l.client) {
    std::fputs("zelmora_latency: no JACK server\n", stderr);
    return 1;
  }
  for (int channel = 0; channel < 2; ++channel)
    l.ports[channel] = jack_port_register(l.client, ("in_" + std::to_string(channel + 1)).c_str(),
                                          JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  jack_set_process_callback(l.client, process, &l);
  jack_set_xrun_callback(l.client, count_xrun, &l);
  if (jack_activate(l.client) != 0 || !connect_to_zelmora(l)) return 1;
  const double rate = jack_get_sample_rate(l.client);
  const jack_nframes_t period = jack_get_buffer_size(l.client);
  lo_address zelmora = lo_address_new("127.0.0.1", argv[1]);

  std::vector<double> latencies;
  int lost = 0, lost_in_a_row = 0, doubtful_ones = 0;
  for (int n = 0; n < repetitions; ++n) {
    // Quiet for a while: the last change's tail has died away.
    if (!wait_until([&] { return l.quiet_frames.load() >= quiet_needed * rate; })) {
      std::fputs("zelmora_latency: zelmora never falls silent\n", stderr);
      return 1;
    }
    // Each try at another point of the grain.
    std::this_thread::sleep_for(std::chrono::microseconds(1000 + 7919 * n % 40000));
    const double ms = one_change(l, zelmora, rate);
    if (ms >= 0) {
      latencies.push_back(ms);
      lost_in_a_row = 0;
    } else if (ms == doubtful) {
      ++doubtful_ones;
    } else if (++lost, ++lost_in_a_row == 3) {
      std::fputs("zelmora_latency: zelmora no longer plays\n", stderr);
      break;
    }
  }
  lo_send(zelmora, "/zelmora/stop", "");
  lo_address_free(zelmora);
  jack_client_close(l.client);
  if (latencies.empty()) {
    std::fputs("zelmora_latency: no change was ever heard\n", stderr);
    return 1;
  }
  // An xrun can cut a gap of silence into the tone, which a change can
  // then seem to end early: many make the figures doubtful.
  std::printf("%zu changes (%d not heard, %d doubtful), %.0f Hz, %u-frame periods, %d xruns "
              "meanwhile\n",
              latencies.size(), lost, doubtful_ones, rate, period, l.xruns.load());
  std::printf("control-to-sound ms: min %.1f  p10 %.1f  median %.1f  p90 %.1f  max %.1f\n",
              percentile(latencies, 0.0), percentile(latencies, 0.1),
              percentile(latencies, 0.5), percentile(latencies, 0.9),
              percentile(latencies, 1.0));
  return 0;
}
