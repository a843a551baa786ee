// A render into a score or sound file, or played on the audio device: the
// automaton's iterations, then csound as a child. The windows run one a
// slice at a time, so that they stay live meanwhile (compute() in the
// slices they ask for, read_messages() whenever csound's messages wait);
// the blocking commands run one to its end (finish()). The old file is
// replaced only by a finished one; a failure or a cancel leaves it as it
// was and no temporary file behind.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/csound/csound.h"
#include "engine/csound/orchestra.h"
#include "engine/render/iteration.h"
#include "engine/render/progress.h"
#include "engine/render/render.h"
#include "platform/replacing_file.h"

// How csound makes a sound file; the defaults are the windows' Audio File.
struct sound_job_settings {
  std::string orchestra;  // empty: orchestra_path(), said when missing
  // The command for csound writing `output` from `score`; when empty,
  // sound_file_command().
  std::function<csound_command(const std::string& output, const std::string& score)> command;
  temp_score_place::where score_place = temp_score_place::where::working_directory;
  csound_messages messages = csound_messages::shown;
  csound_observer observe;
};

class offline_job {
 public:
  // `abandoned`: r1 or r2 of 0 ended the render (said why already).
  enum class phase { automaton, sound, done, failed, abandoned, cancelled };

  // The score file `name`, written by the automaton alone.
  static std::unique_ptr<offline_job> score_file(const std::string& name);
  // The sound file `name`: a temporary score, then csound writes the file.
  static std::unique_ptr<offline_job> sound_file(const std::string& name,
                                                 sound_job_settings settings = {});
  // The render played on the audio device: a temporary score, then csound.
  static std::unique_ptr<offline_job> audio_device();
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

  // Reads what is waiting on messages_fd(); once csound has closed it,
  // reaps csound and puts the file in place.
  void read_messages();

  // Runs what is left of the job to its end.
  void finish();

  // Stops the job at once: csound killed, its output and the score removed.
  void cancel();

  phase state() const { return phase_; }
  bool running() const { return phase_ == phase::automaton || phase_ == phase::sound; }
  const job_progress& progress() const { return progress_; }

 private:
  offline_job(std::string name, sound_job_settings settings);
  bool orchestra_usable() const;  // false: said why
  bool make_target();             // false: said why, nothing left
  std::FILE* open_sound_score();  // nullptr: said why, nothing left
  void begin_render(std::FILE* notes);
  void end_automaton();
  void close_score();  // the render's end: no more notes to the stream
  void start_sound();
  void end_sound(int status, bool started = true);
  void end(phase outcome);  // the score and an uncommitted file removed

  job_progress progress_;
  std::string name_;  // the file the user named; empty on the audio device
  sound_job_settings settings_;
  phase phase_ = phase::failed;
  std::optional<replacing_file> target_;
  std::optional<temp_score_place> score_;  // sound jobs only
  std::string written_;  // the name csound writes, beside the target
  std::FILE* notes_ = nullptr;
  // The score writer is in the sink list only while the automaton runs.
  std::unique_ptr<score_writer> writer_;
  std::unique_ptr<sink_registration> writing_;
  render_run run_;
  double score_seconds_ = 0.0;  // where the last note ends
  csound_child child_;
  csound_score_clock clock_;
  std::string kept_;  // the end of csound's messages, for a failure
};

// The blocking commands of the windows and the tests: each runs its job to
// the end; 0 when it made what it was asked for, -1 otherwise (said why).
// A missing orchestra is said before the render; csound still runs and
// fails, as it would for any other reason.
int play_on_audio_device();
int make_sound_file(const std::string& name);
int make_score_file(const std::string& name);
