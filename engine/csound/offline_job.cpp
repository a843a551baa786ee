#include "engine/csound/offline_job.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "engine/csound/orchestra_file.h"
#include "engine/render/frames.h"
#include "engine/report.h"

namespace {

// ".wav" of "takes/a.wav"; empty without one.
std::string extension_of(const std::string& name) {
  const auto slash = name.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot <= base) return "";
  return name.substr(dot);
}

// A temporary score that could not be written: where, not its hidden name.
void report_score_failure(const std::string& score, int error) {
  const std::string folder = std::filesystem::path(score).parent_path().string();
  report_file_error("Can't write the temporary score in", folder, error);
}

// csound names the file it writes, a hidden temporary one beside the
// target: the user knows the target.
void name_the_target(std::string& messages, const std::string& written, const std::string& target) {
  if (written.empty()) return;
  for (std::size_t at = messages.find(written); at != std::string::npos;
       at = messages.find(written, at + target.size()))
    messages.replace(at, written.size(), target);
}

int run_to_end(std::unique_ptr<offline_job> job) {
  job->finish();
  return job->state() == offline_job::phase::done ? 0 : -1;
}

}  // namespace

offline_job::offline_job(std::string name, sound_job_settings settings)
    : name_(std::move(name)), settings_(std::move(settings)) {}

offline_job::~offline_job() { cancel(); }

std::unique_ptr<offline_job> offline_job::score_file(const std::string& name) {
  std::unique_ptr<offline_job> job(new offline_job(name, {}));
  job->target_.emplace(name);
  if (!job->target_->stream()) {
    report_file_error("Can't open file", name, job->target_->error());
    job->target_.reset();
    return job;
  }
  job->begin_render(job->target_->release());
  return job;
}

std::unique_ptr<offline_job> offline_job::sound_file(const std::string& name,
                                                     sound_job_settings settings) {
  std::unique_ptr<offline_job> job(new offline_job(name, std::move(settings)));
  if (!job->orchestra_usable() || !job->make_target()) return job;
  if (std::FILE* fp = job->open_sound_score()) job->begin_render(fp);
  return job;
}

std::unique_ptr<offline_job> offline_job::audio_device() {
  std::unique_ptr<offline_job> job(new offline_job("", {}));
  if (!job->orchestra_usable()) return job;
  if (std::FILE* fp = job->open_sound_score()) job->begin_render(fp);
  return job;
}

std::unique_ptr<offline_job> offline_job::sound_from_score(
    const std::string& name, const std::function<bool(std::FILE*)>& write_score,
    double seconds) {
  std::unique_ptr<offline_job> job(new offline_job(name, {}));
  if (!job->orchestra_usable() || !job->make_target()) return job;
  std::FILE* fp = job->open_sound_score();
  if (!fp) return job;
  bool written = write_score(fp) && std::ferror(fp) == 0;
  written = std::fclose(fp) == 0 && written;
  if (!written) {
    report_score_failure(job->score_->path(), errno);
    job->end(phase::failed);
    return job;
  }
  job->score_seconds_ = seconds;
  job->start_sound();
  return job;
}

// A missing orchestra of the windows' is said before the render; csound
// still runs and fails, as it would for any other reason. One that csound
// could hang on is refused.
bool offline_job::orchestra_usable() const {
  if (!settings_.orchestra.empty()) return !orchestra_refused(settings_.orchestra);
  if (orchestra_refused(orchestra_path())) return false;
  check_orchestra();
  return true;
}

bool offline_job::make_target() {
  // The extension stays: csound goes by it. The temporary file's name,
  // beside the target, keeps csound from reading a name such as "dac" or
  // "-x.wav" as anything but a file.
  target_.emplace(name_, extension_of(name_));
  written_ = as_file_name(target_->path_for_writer());
  if (!written_.empty()) return true;
  report_file_error("Can't open file", name_, target_->error());
  target_.reset();
  return false;
}

std::FILE* offline_job::open_sound_score() {
  score_.emplace(settings_.score_place);
  if (std::FILE* fp = score_->stream()) return fp;
  const int error = errno;
  if (settings_.score_place == temp_score_place::where::temporary_directory)
    report_file_error("Can't create a temporary file in", temporary_directory(), error);
  else
    report_file_error("Can't open file", "tempory file", error);
  end(phase::failed);
  return nullptr;
}

void offline_job::begin_render(std::FILE* notes) {
  notes_ = notes;
  writer_ = std::make_unique<score_writer>(notes_);
  writing_ = std::make_unique<sink_registration>(*writer_);
  run_ = start_render();
  std::fputs(score_header, notes_);
  phase_ = phase::automaton;
}

void offline_job::compute(std::chrono::milliseconds budget) {
  if (phase_ != phase::automaton) return;
  const auto until = job_progress::clock::now() + budget;
  while (run_.next < run_.iterations) {
    // Abandoned, said why already; a frame that could not be written ends it too.
    if (!render_iteration(run_) || frame_failed(*run_.owner)) break;
    score_seconds_ = run_.start + static_cast<double>(run_.dur);
    progress_.automaton_at(run_.next, run_.iterations);
    if (run_.next < run_.iterations && job_progress::clock::now() >= until) return;
  }
  end_automaton();
}

void offline_job::end_automaton() {
  const bool complete = run_.next >= run_.iterations;
  close_score();
  // The errno of the write that failed, made slices ago, is still the last.
  bool written = std::ferror(notes_) == 0;
  written = std::fclose(notes_) == 0 && written;
  const int write_error = written ? 0 : errno;
  notes_ = nullptr;
  if (!complete) {  // an abandoned score is never played, the old file stays
    end(phase::abandoned);
    return;
  }
  if (!score_) {  // a score file: the old one stays unless all went well
    const bool committed = target_->commit_closed(written);
    if (!committed)
      report_file_error("Can't write file", name_, write_error != 0 ? write_error : target_->error());
    end(committed ? phase::done : phase::failed);
    return;
  }
  if (written) {
    start_sound();
    return;
  }
  report_score_failure(score_->path(), write_error);
  end(phase::failed);  // a short score is never played
}

void offline_job::close_score() {
  writing_.reset();
  writer_.reset();
  run_ = render_run{};  // the grids are whole ints again
}

void offline_job::start_sound() {
  progress_.sound_at(0.0, score_seconds_);
  const std::string& score = score_->path();
  csound_command command = play_command(score);
  if (target_)
    command = settings_.command ? settings_.command(written_, score)
                                : sound_file_command(written_, score);
  child_ = start_csound(command);
  phase_ = phase::sound;
  if (child_.pid < 0) end_sound(wait_for_csound(child_), false);
}

void offline_job::read_messages() {
  if (phase_ != phase::sound) return;
  std::array<char, 4096> buffer{};
  const ssize_t n = ::read(child_.messages, buffer.data(), buffer.size());
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n > 0) {
    std::string text(buffer.data(), static_cast<std::size_t>(n));
    name_the_target(text, written_, name_);
    const std::string_view chunk(text);
    pass_csound_messages(chunk, settings_.messages, kept_);
    clock_.feed(chunk);
    progress_.sound_at(clock_.seconds(), score_seconds_);
    if (settings_.observe.messages) settings_.observe.messages(chunk);
    return;
  }
  end_sound(wait_for_csound(child_));
}

void offline_job::end_sound(int status, bool started) {
  if (settings_.observe.ended) settings_.observe.ended(status);
  // One that never started has said so (start_csound).
  if (status != 0 && started) report_csound_failure(status, kept_, settings_.messages);
  bool made = status == 0;
  if (target_) {
    const bool committed = target_->commit_closed(made);
    if (!committed && made) report_file_error("Can't write file", name_, target_->error());
    made = committed;
  }
  end(made ? phase::done : phase::failed);
}

void offline_job::finish() {
  constexpr std::chrono::hours unbounded{24};
  while (phase_ == phase::automaton) compute(unbounded);
  while (phase_ == phase::sound) read_messages();
}

void offline_job::cancel() {
  if (!running()) return;
  if (phase_ == phase::automaton) {
    close_score();
    std::fclose(notes_);
    notes_ = nullptr;
  }
  stop_csound(child_);
  end(phase::cancelled);
}

void offline_job::end(phase outcome) {
  score_.reset();   // the score goes, whatever the outcome
  target_.reset();  // and an uncommitted temporary file with it
  if (outcome == phase::done) progress_.finished();
  phase_ = outcome;
}

int play_on_audio_device() { return run_to_end(offline_job::audio_device()); }

int make_sound_file(const std::string& name) { return run_to_end(offline_job::sound_file(name)); }

int make_score_file(const std::string& name) { return run_to_end(offline_job::score_file(name)); }
