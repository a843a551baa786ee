// The Master's space: a stereo reverb of eight delay lines mixed through a
// Householder matrix, each line losing highs as it goes round, decaying in
// RT60 seconds. The sound it is sent goes on in the tail after the voices.
// Its lines are allocated when it is made, never while it plays.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

class stereo_reverb {
 public:
  explicit stereo_reverb(double rate);

  // How long the tail takes to fall by 60 dB.
  void set_decay(double rt60);
  // Adds the reverb of (left, right) into them, `send` times.
  void process(double* left, double* right, int count, double send);
  // The loudest value it still holds: how loud its tail may ring.
  double memory() const { return memory_; }
  // Empties the lines.
  void clear();

 private:
  static constexpr int lines = 8;
  double rate_;
  std::array<std::vector<double>, lines> delays_;
  std::array<std::size_t, lines> positions_{};
  std::array<double, lines> gains_{};
  std::array<double, lines> lowpass_{};
  double decay_ = 0;
  double memory_ = 0;
};
