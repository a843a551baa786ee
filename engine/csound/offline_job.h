// A render into a score or sound file that runs a slice at a time, so that
// a program with windows stays live meanwhile: the automaton's iterations in
// slices the caller asks for, then csound in the background, its messages
// read whenever the caller finds them waiting. The old file is replaced
// only by a finished one; a failure or a cancel leaves it as it was and no
// temporary file behind.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/csound/csound.h"
#include "platform/interrupt.h"
#include "engine/render/iteration.h"
#include "engine/csound/orchestra.h"
#include "engine/render/progress.h"
#include "engine/render/render.h"
#include "platform/replacing_file.h"

class offline_job {
 public:
  enum class phase { automaton, sound, done, failed, cancelled };

  // The score file `name`, written by the automaton alone.
  static std::unique_ptr<offline_job> score_file(const std::string& name);
  // The sound file `name`: a temporary score, then csound writes the file.
  static std::unique_ptr<offline_job> sound_file(const std::string& name);
  // The sound file `name` from a score made already (a take): `write_score`
  // copies it into the temporary score, which lasts `seconds`; csound
  // starts at once.
  static std::unique_ptr<offline_job> sound_from_score(
      const std::string& name, const std::function<bool(std::FILE*)>& write_score,
      double seconds);

  ~offline_job();  // cancels a job still running
  offline_job(const offline_job&) = delete;
  offline_job& operator=(const offline_job&) = delete;

  // Computes iterations for about `budget`. When the last is done the
  // score is closed and csound started, or the score file put in place.
  void compute(std::chrono::milliseconds budget);

  // The pipe csound's messages come through while it runs, else -1.
  int messages_fd() const { return child_.messages; }

  // Reads what is waiting on messages_fd() (passed on to standard error);
  // once csound has closed it, reaps csound and puts the file in place.
  void read_messages();

  // Stops the job at once: csound killed, its output and the score removed.
  void cancel();

  phase state() const { return phase_; }
  bool running() const { return phase_ == phase::automaton || phase_ == phase::sound; }
  const job_progress& progress() const { return progress_; }

 private:
  offline_job(double automaton_share, std::string name);
  std::FILE* open_sound_score();  // nullptr: said why, nothing left
  void begin_render(std::FILE* notes);
  void end_automaton();
  void close_score();  // the render's end: no more notes to the stream
  void start_sound();
  void end_sound(int status);
  void discard();

  job_progress progress_;
  std::string name_;  // the file the user named
  phase phase_ = phase::failed;
  std::optional<replacing_file> target_;
  std::unique_ptr<temp_score_place> score_place_;  // sound files only
  temporary_registration score_registration_;
  std::string written_;  // the name csound writes, beside the target
  std::FILE* notes_ = nullptr;
  // The score writer is in the sink list only while the automaton runs.
  std::unique_ptr<score_writer> writer_;
  std::unique_ptr<sink_registration> writing_;
  render_run run_;
  double score_seconds_ = 0.0;  // where the last note ends
  csound_child child_;
  csound_score_clock clock_;
  std::string kept_;  // unused while csound's messages are shown
};
