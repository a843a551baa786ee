// How far a long render has come: the automaton's iterations, then the
// score time csound says it has rendered, as one fraction of the whole job
// with the time the rest should take.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

// The part of a sound file's job the automaton counts for; csound does the
// rest. Measured: 2000 iterations of 25 or 100 voices take the automaton
// 0.01 to 0.04 CPU seconds and csound 2.3 to 7 (a share under 1 %); the
// windows also draw the grid meanwhile, so the automaton counts for 2 %.
constexpr double automaton_share_of_sound = 0.02;

class job_progress {
 public:
  using clock = std::chrono::steady_clock;

  // `automaton_share` is 1 for a job without csound.
  explicit job_progress(double automaton_share, clock::time_point start = clock::now());

  void automaton_at(int done, int total);
  // csound has rendered `seconds` of a score `total_seconds` long.
  void sound_at(double seconds, double total_seconds);
  void finished() { fraction_ = 1.0; }

  double fraction() const { return fraction_; }  // 0 to 1
  double elapsed(clock::time_point now = clock::now()) const;
  // Seconds still to go at the pace so far; negative while nothing is done.
  double remaining(clock::time_point now = clock::now()) const;

 private:
  double automaton_share_;
  clock::time_point start_;
  double fraction_ = 0.0;
};

// "42 %, 0:12 elapsed, 0:17 left"; the percentage is rounded down, so
// "100 %" means done.
std::string progress_text(const job_progress& progress,
                          job_progress::clock::time_point now = job_progress::clock::now());

// "42 %, 0:17 left", for a narrow place.
std::string progress_short_text(const job_progress& progress,
                                job_progress::clock::time_point now = job_progress::clock::now());

// "0:07", "12:30", "1:02:03"; "--:--" for a negative time (not known).
std::string clock_text(double seconds);

// Reads csound's messages as they arrive, in chunks that may split lines,
// and keeps the score time of the last event line it printed: "B  0.100 ..
// 0.125 T  0.125 TT  0.125 M: ...", TT being the time from the score's start.
class csound_score_clock {
 public:
  void feed(std::string_view chunk);
  double seconds() const { return seconds_; }

 private:
  void read_line(std::string_view line);
  std::string partial_;
  double seconds_ = 0.0;
};

// A one-line display on a terminal, redrawn in place at most a few times a
// second, and only when its text changes.
class progress_line {
 public:
  explicit progress_line(std::FILE* out) : out_(out) {}
  void show(const job_progress& progress);
  // The last state, then a new line; nothing more is drawn after.
  void finish(const job_progress& progress);

 private:
  void draw(const std::string& text);
  std::FILE* out_;
  job_progress::clock::time_point drawn_{};
  std::string text_;
  bool finished_ = false;
};
