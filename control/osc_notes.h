// OSC out: every iteration's notes of every render to another program, as
//   /zelmora/notes ,if f...      iteration, start time in seconds, then each
//                                instrument's frequency in instrument order
//   /zelmora/amplitudes ,i f...  iteration, then each instrument's score
//                                amplitude (p4) in instrument order
// at most 2000 iterations a second, so that a listener on the same machine
// misses none of an offline render's.
#pragma once

#include <chrono>
#include <string>

#include "engine/render/iteration.h"

class osc_note_sender final : public iteration_sink {
 public:
  // `target` is HOST:PORT; ok() is false (reported) when it is not one.
  explicit osc_note_sender(const std::string& target);
  ~osc_note_sender();
  osc_note_sender(const osc_note_sender&) = delete;
  osc_note_sender& operator=(const osc_note_sender&) = delete;

  bool ok() const { return address_ != nullptr; }
  void on_iteration(const iteration& it) override;

 private:
  void pace();

  void* address_ = nullptr;  // liblo's lo_address
  std::chrono::steady_clock::time_point next_send_{};
};

// HOST:PORT with a port 1 ... 65535 and a host that is not empty.
bool split_host_port(const std::string& target, std::string& host, std::string& port);

// Sends every iteration's notes of every render to `target` from now on
// (an empty target stops sending). False (reported) for a bad target.
bool send_notes_to(const std::string& target);
