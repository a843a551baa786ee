// How far a long render has come, and the score time csound reports.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

// How far a long render has come, stage by stage: the automaton's
// iterations, then the score time csound says it has rendered. Each stage
// shows its own share done and the time it still needs at its own pace so
// far, which converges as it goes; no stage's figure guesses at another's
// cost (a big grid's automaton can outlast csound, or the reverse).
class job_progress {
 public:
  using clock = std::chrono::steady_clock;
  enum class stage { automaton, sound };

  explicit job_progress(clock::time_point start = clock::now());

  void automaton_at(int done, int total);
  // csound has rendered `seconds` of a score `total_seconds` long; the
  // first call begins the sound stage, `now` its clock.
  void sound_at(double seconds, double total_seconds, clock::time_point now = clock::now());
  void finished();

  stage current() const { return stage_; }
  double fraction() const { return fraction_; }  // of the current stage, 0 to 1
  double sound_seconds() const { return sound_seconds_; }
  double sound_total() const { return sound_total_; }
  double elapsed(clock::time_point now = clock::now()) const;  // the whole job's
  // Seconds the current stage still needs at its pace so far; negative
  // while nothing is done.
  double remaining(clock::time_point now = clock::now()) const;

 private:
  clock::time_point start_, stage_start_;
  stage stage_ = stage::automaton;
  double fraction_ = 0.0;
  double sound_seconds_ = 0.0, sound_total_ = 0.0;
};

// "Automaton 42 %, 0:12 elapsed, 0:17 left", "Sound 42 % (2:06 of 5:00),
// 1:12 elapsed, 1:40 left"; the percentage is rounded down, so "100 %"
// means that stage is done.
std::string progress_text(const job_progress& progress,
                          job_progress::clock::time_point now = job_progress::clock::now());

// "Sound 42 %, 0:17 left", for a narrow place.
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
