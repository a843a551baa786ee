// The notes of a score file, read a line at a time as they are needed: the
// grain voices' opcode takes a render's score this way instead of csound
// parsing one event a note. No csound header here.
//
// A note is an i-line "i<instrument> <start> <duration> <amplitude>
// <frequency>" (blanks between, further fields ignored), the instrument a
// whole number 1..100. Comments after ';', blank lines, a CR before the
// line's end and a missing last newline are taken as csound takes them.
// Other statements (f, t, s, ...) are passed over; "e" ends the score.
// Anything else (garbage, a bad or non-finite number, a line too long) is
// skipped and counted, never a crash. A note that starts before the one
// before it starts with it instead, so that starts never go back.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dsp/note.h"

class score_reader {
 public:
  // Takes `fp` over (closed with the reader); null reads as an empty score.
  explicit score_reader(std::FILE* fp);

  // The next note, without taking it; null at the end of the score.
  const note* peek();
  // Takes the note peek() shows.
  void pop() { pending_.reset(); }

  // Lines skipped as no statement of a score, and the number of the first.
  int skipped_lines() const { return skipped_; }
  int first_skipped_line() const { return first_skipped_; }
  // Notes whose start was raised to the one before them.
  int raised_starts() const { return raised_; }

  // The longest line read; a longer one is skipped.
  static constexpr std::size_t longest_line = 1024;

 private:
  bool read_line(std::string& line);
  void skip(int line_number);

  struct closer {
    void operator()(std::FILE* fp) const { std::fclose(fp); }
  };
  std::unique_ptr<std::FILE, closer> file_;
  std::optional<note> pending_;
  double last_start_ = 0.0;
  int line_number_ = 0;
  int skipped_ = 0;
  int first_skipped_ = 0;
  int raised_ = 0;
  bool ended_ = false;
};

// What one line of a score is.
enum class score_line_kind { note, other_statement, blank, end, garbage };

// Reads one line (without its newline): a note's fields into `n` when it is
// one.
score_line_kind read_score_line(std::string_view line, note& n);
