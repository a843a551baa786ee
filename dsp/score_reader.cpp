#include "dsp/score_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>


namespace {

// Larger magnitudes are no score's numbers; they could only overflow the
// voices' arithmetic.
constexpr double largest_value = 1e9;

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trimmed(std::string_view line) {
  if (const std::size_t comment = line.find(';'); comment != std::string_view::npos)
    line = line.substr(0, comment);
  while (!line.empty() && blank(line.front())) line.remove_prefix(1);
  while (!line.empty() && blank(line.back())) line.remove_suffix(1);
  return line;
}

// The next field of `rest` as a finite number within the bounds.
bool next_number(std::string_view& rest, double& value) {
  while (!rest.empty() && blank(rest.front())) rest.remove_prefix(1);
  const char* begin = rest.data();
  const char* end = rest.data() + rest.size();
  if (begin != end && *begin == '+') ++begin;  // from_chars takes no plus sign
  const auto [stop, error] = std::from_chars(begin, end, value);
  if (error != std::errc{} || stop == begin) return false;
  if (stop != end && !blank(*stop)) return false;  // "12abc"
  rest.remove_prefix(static_cast<std::size_t>(stop - rest.data()));
  return std::isfinite(value) && std::fabs(value) <= largest_value;
}

score_line_kind read_note(std::string_view rest, note& n) {
  double instrument = 0.0;
  if (!next_number(rest, instrument) || instrument != std::floor(instrument) || instrument < 1 ||
      instrument > max_instruments)
    return score_line_kind::garbage;
  note read;
  read.instrument = static_cast<int>(instrument);
  if (!next_number(rest, read.start) || !next_number(rest, read.duration) ||
      !next_number(rest, read.amplitude) || !next_number(rest, read.frequency) ||
      read.start < 0.0)
    return score_line_kind::garbage;
  n = read;
  return score_line_kind::note;
}

}  // namespace

score_line_kind read_score_line(std::string_view line, note& n) {
  line = trimmed(line);
  if (line.empty()) return score_line_kind::blank;
  const char statement = line.front();
  line.remove_prefix(1);
  // The statement's letter stands alone or is followed by its first field.
  const bool letter_alone = line.empty() || blank(line.front()) || line.front() == '"';
  switch (statement) {
    case 'i':
      return read_note(line, n);
    case 'e':
      return letter_alone ? score_line_kind::end : score_line_kind::garbage;
    case 'f': case 't': case 's': case 'a': case 'b': case 'v': case 'x': case 'm':
    case 'n': case 'r': case 'q': case 'd': case 'y': case 'B': case 'C':
      return score_line_kind::other_statement;
    default:
      return score_line_kind::garbage;
  }
}

score_reader::score_reader(std::FILE* fp) : file_(fp) {}

bool score_reader::read_line(std::string& line) {
  line.clear();
  if (!file_) return false;
  bool too_long = false;
  for (int c = std::getc(file_.get()); c != EOF; c = std::getc(file_.get())) {
    if (c == '\n') break;
    if (line.size() < longest_line)
      line.push_back(static_cast<char>(c));
    else
      too_long = true;
    if (c == '\0') too_long = true;  // no text file has one
  }
  if (line.empty() && !too_long && std::feof(file_.get())) return false;
  ++line_number_;
  if (too_long) line.assign(1, '\x01');  // garbage, counted as such
  return true;
}

void score_reader::skip(int line_number) {
  if (skipped_++ == 0) first_skipped_ = line_number;
}

const char* score_reader::refusal(const note& n) const {
  if (n.duration > longest_note) return "longer than 10 s";
  if (n.start > end_ + longest_silence) return "over a minute after the notes before it";
  if (taken_ >= notes_per_onset && n.start - recent_[taken_ % notes_per_onset] < densest_onsets)
    return "over 100 notes within a millisecond";
  return nullptr;
}

void score_reader::take(note n) {
  if (n.start < last_start_) {
    n.start = last_start_;
    ++raised_;
  }
  if (const char* why = refusal(n)) {
    if (refused_++ == 0) {
      first_refused_ = line_number_;
      first_refusal_ = why;
    }
    return;
  }
  last_start_ = n.start;
  end_ = std::max(end_, n.start + n.duration);
  recent_[taken_++ % notes_per_onset] = n.start;
  pending_ = n;
}

const note* score_reader::peek() {
  std::string line;
  while (!pending_ && !ended_ && read_line(line)) {
    note n;
    switch (read_score_line(line, n)) {
      case score_line_kind::note:
        take(n);
        break;
      case score_line_kind::end:
        ended_ = true;
        break;
      case score_line_kind::garbage:
        skip(line_number_);
        break;
      default:
        break;
    }
  }
  return pending_ ? &*pending_ : nullptr;
}
