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
//
// No render writes a note longer than 10 s, a silence of over a minute
// between notes, or more than 100 notes (one per instrument) within a
// millisecond; such notes are refused and counted, so that a hostile score
// can neither make csound write silence without end nor pile up voices
// beyond memory. The score ends at "e" or at the end of the file as it is
// when the reader reaches it: the programs hand csound only scores they
// have finished writing, and waiting for a writer that may never finish
// would hang csound as a pipe did.
#pragma once

#include <array>
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
  // Notes refused (see above), the line of the first and why.
  int refused_notes() const { return refused_; }
  int first_refused_line() const { return first_refused_; }
  const char* first_refusal() const { return first_refusal_; }

  static constexpr double longest_note = 10.0;         // s, the longest grain
  static constexpr double longest_silence = 60.0;      // s between notes
  static constexpr double densest_onsets = 0.0009;     // s: 100 notes at least this apart
  static constexpr std::size_t notes_per_onset = 100;  // one per instrument

  // The longest line read; a longer one is skipped.
  static constexpr std::size_t longest_line = 1024;

 private:
  bool read_line(std::string& line);
  void skip(int line_number);
  const char* refusal(const note& n) const;
  void take(note n);

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
  int refused_ = 0;
  int first_refused_ = 0;
  const char* first_refusal_ = "";
  double end_ = 0.0;  // where the notes taken so far end
  std::array<double, notes_per_onset> recent_{};  // starts of the last notes taken, a ring
  std::size_t taken_ = 0;
  bool ended_ = false;
};

// What one line of a score is.
enum class score_line_kind { note, other_statement, blank, end, garbage };

// Reads one line (without its newline): a note's fields into `n` when it is
// one.
score_line_kind read_score_line(std::string_view line, note& n);
