#include "engine/csound/offline_job.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <utility>

#include "engine/csound/orchestra_file.h"
#include "engine/report.h"

offline_job::offline_job(double automaton_share, std::string name)
    : progress_(automaton_share), name_(std::move(name)) {}

offline_job::~offline_job() { cancel(); }

std::unique_ptr<offline_job> offline_job::score_file(const std::string& name) {
  std::unique_ptr<offline_job> job(new offline_job(1.0, name));
  job->target_.emplace(name);
  if (!job->target_->stream()) {
    report_file_error("Can't open file", name, job->target_->error());
    job->target_.reset();
    return job;
  }
  job->begin_render(job->target_->release());
  return job;
}

// As make_sound_file(): a missing orchestra is said before the render;
// csound still runs and fails, as it would for any other reason. One that
// csound could hang on is refused.
std::unique_ptr<offline_job> offline_job::sound_file(const std::string& name) {
  std::unique_ptr<offline_job> job(new offline_job(automaton_share_of_sound, name));
  if (std::FILE* fp = job->open_sound_score()) job->begin_render(fp);
  return job;
}

std::unique_ptr<offline_job> offline_job::sound_from_score(
    const std::string& name, const std::function<bool(std::FILE*)>& write_score,
    double seconds) {
  std::unique_ptr<offline_job> job(new offline_job(0.0, name));
  std::FILE* fp = job->open_sound_score();
  if (!fp) return job;
  bool written = write_score(fp) && std::ferror(fp) == 0;
  written = std::fclose(fp) == 0 && written;
  if (!written) {
    report_error("Can't write file %s\n", job->score_place_->path().c_str());
    job->discard();
    return job;
  }
  job->score_seconds_ = seconds;
  job->start_sound();
  return job;
}

std::FILE* offline_job::open_sound_score() {
  if (orchestra_refused(orchestra_path())) return nullptr;
  check_orchestra();
  // The extension stays: csound goes by it. The temporary file's name,
  // beside the target, keeps csound from reading a name such as "dac" or
  // "-x.wav" as anything but a file.
  target_.emplace(name_, extension_of(name_));
  written_ = as_file_name(target_->path_for_writer());
  if (written_.empty()) {
    report_file_error("Can't open file", name_, target_->error());
    target_.reset();
    return nullptr;
  }
  score_place_ = std::make_unique<temp_score_place>();
  const std::string& score = score_place_->path();
  std::FILE* fp = nullptr;
  {
    const interrupt_guard guard;  // a signal removes the score once it exists
    fp = open_temporary_score(score);
    if (fp) score_registration_ = temporary_registration(score);
  }
  if (!fp) {
    report_file_error("Can't open file", "tempory file", errno);
    discard();
  }
  return fp;
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
    if (!render_iteration(run_)) break;  // abandoned: said why already
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
  if (!score_place_) {  // a score file: the old one stays unless all went well
    const bool committed = target_->commit_closed(complete && written);
    if (!committed && complete)
      report_file_error("Can't write file", name_, write_error != 0 ? write_error : target_->error());
    discard();
    if (committed) {
      progress_.finished();
      phase_ = phase::done;
    }
    return;
  }
  if (complete && written) {
    start_sound();
    return;
  }
  if (complete) report_error("Can't write file %s\n", score_place_->path().c_str());
  discard();  // an abandoned or short score is never played
}

void offline_job::close_score() {
  writing_.reset();
  writer_.reset();
  run_ = render_run{};  // the grids are whole ints again
}

void offline_job::start_sound() {
  progress_.sound_at(0.0, score_seconds_);
  child_ = start_csound(sound_file_command(written_, score_place_->path()));
  phase_ = phase::sound;
  if (child_.pid < 0) end_sound(wait_for_csound(child_));
}

void offline_job::read_messages() {
  if (phase_ != phase::sound) return;
  std::array<char, 4096> buffer{};
  const ssize_t n = ::read(child_.messages, buffer.data(), buffer.size());
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n > 0) {
    const std::string_view chunk(buffer.data(), static_cast<std::size_t>(n));
    pass_csound_messages(chunk, csound_messages::shown, kept_);
    clock_.feed(chunk);
    progress_.sound_at(clock_.seconds(), score_seconds_);
    return;
  }
  end_sound(wait_for_csound(child_));
}

void offline_job::end_sound(int status) {
  if (status != 0) report_csound_failure(status, kept_, csound_messages::shown);
  const bool committed = target_->commit_closed(status == 0);
  if (!committed && status == 0) report_file_error("Can't write file", name_, target_->error());
  discard();
  if (committed) {
    progress_.finished();
    phase_ = phase::done;
  }
}

void offline_job::cancel() {
  if (!running()) return;
  if (phase_ == phase::automaton) {
    close_score();
    std::fclose(notes_);
    notes_ = nullptr;
  }
  stop_csound(child_);
  discard();
  phase_ = phase::cancelled;
}

// Whatever the outcome, the score and an uncommitted temporary file go.
void offline_job::discard() {
  if (score_place_) std::remove(score_place_->path().c_str());
  score_registration_ = temporary_registration{};
  score_place_.reset();
  target_.reset();  // an uncommitted temporary file goes with it
  phase_ = phase::failed;
}
