#include "engine/render/progress.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// At most five redraws a second: the eye sees it move, the terminal is
// not flooded.
constexpr std::chrono::milliseconds redraw_interval{200};

double clamp_fraction(double done, double total) {
  if (!(total > 0.0)) return 1.0;  // nothing to do is all done
  return std::clamp(done / total, 0.0, 1.0);
}

}  // namespace

job_progress::job_progress(clock::time_point start) : start_(start), stage_start_(start) {}

void job_progress::automaton_at(int done, int total) { fraction_ = clamp_fraction(done, total); }

void job_progress::sound_at(double seconds, double total_seconds, clock::time_point now) {
  if (stage_ != stage::sound) {
    stage_ = stage::sound;
    stage_start_ = now;
  }
  sound_total_ = std::max(total_seconds, 0.0);
  sound_seconds_ = std::clamp(seconds, 0.0, sound_total_);
  fraction_ = clamp_fraction(seconds, total_seconds);
}

void job_progress::finished() {
  fraction_ = 1.0;
  sound_seconds_ = sound_total_;
}

double job_progress::elapsed(clock::time_point now) const {
  return std::chrono::duration<double>(now - start_).count();
}

double job_progress::remaining(clock::time_point now) const {
  if (fraction_ <= 0.0) return -1.0;
  const double stage_elapsed = std::chrono::duration<double>(now - stage_start_).count();
  return stage_elapsed * (1.0 - fraction_) / fraction_;
}

std::string clock_text(double seconds) {
  if (seconds < 0.0 || !std::isfinite(seconds)) return "--:--";
  const auto whole = static_cast<long long>(std::llround(seconds));
  const long long hours = whole / 3600;
  const long long minutes = whole / 60 % 60;
  const long long secs = whole % 60;
  char text[48];
  if (hours > 0)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", hours, minutes, secs);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", minutes, secs);
  return text;
}

namespace {

// "Sound 42 %", with " (2:06 of 5:00)" when `detailed`.
std::string stage_text(const job_progress& progress, bool detailed) {
  const bool sound = progress.current() == job_progress::stage::sound;
  std::string text = std::string(sound ? "Sound " : "Automaton ") +
                     std::to_string(static_cast<int>(std::floor(progress.fraction() * 100.0))) +
                     " %";
  if (sound && detailed)
    text += " (" + clock_text(progress.sound_seconds()) + " of " +
            clock_text(progress.sound_total()) + ")";
  return text;
}

}  // namespace

std::string progress_text(const job_progress& progress, job_progress::clock::time_point now) {
  return stage_text(progress, true) + ", " + clock_text(progress.elapsed(now)) + " elapsed, " +
         clock_text(progress.remaining(now)) + " left";
}

std::string progress_short_text(const job_progress& progress,
                                job_progress::clock::time_point now) {
  return stage_text(progress, false) + ", " + clock_text(progress.remaining(now)) + " left";
}

void csound_score_clock::feed(std::string_view chunk) {
  for (std::size_t end = chunk.find('\n'); end != std::string_view::npos;
       end = chunk.find('\n')) {
    if (partial_.empty()) {
      read_line(chunk.substr(0, end));
    } else {
      partial_.append(chunk.substr(0, end));
      read_line(partial_);
      partial_.clear();
    }
    chunk.remove_prefix(end + 1);
  }
  // A line longer than any csound prints is not one of its event lines.
  constexpr std::size_t longest_line = 4096;
  if (partial_.size() + chunk.size() <= longest_line)
    partial_.append(chunk);
  else
    partial_.clear();
}

void csound_score_clock::read_line(std::string_view line) {
  // Colour codes may surround the words; the number follows "TT" and the
  // blanks that pad it to seven characters, none from 100 s on.
  const std::size_t tt = line.find("TT");
  if (line.find('B') == std::string_view::npos || tt == std::string_view::npos) return;
  std::size_t at = tt + 2;
  while (at < line.size() && line[at] == ' ') ++at;
  double seconds = 0.0;
  const auto [end, error] = std::from_chars(line.data() + at, line.data() + line.size(), seconds);
  if (error == std::errc{} && end != line.data() + at && std::isfinite(seconds))
    seconds_ = std::max(seconds_, seconds);
}

void progress_line::show(const job_progress& progress) {
  const auto now = job_progress::clock::now();
  if (finished_ || now - drawn_ < redraw_interval) return;
  const std::string text = progress_text(progress, now);
  if (text == text_) return;
  drawn_ = now;
  draw(text);
}

void progress_line::finish(const job_progress& progress) {
  if (finished_) return;
  draw(progress_text(progress));
  std::fputc('\n', out_);
  std::fflush(out_);
  finished_ = true;
}

void progress_line::draw(const std::string& text) {
  // Blanks after the text cover what a longer line left.
  const std::size_t cover = text_.size() > text.size() ? text_.size() - text.size() : 0;
  std::fprintf(out_, "\r%s%*s", text.c_str(), static_cast<int>(cover), "");
  std::fflush(out_);
  text_ = text;
}
