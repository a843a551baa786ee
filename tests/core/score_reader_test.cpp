// The score reader of the grain voices' opcode: our own scores read back
// exactly, anything else read safely.
#include "dsp/score_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "engine/render/iteration.h"
#include "tests/support/support.h"

namespace {

struct read_back {
  std::vector<note> notes;
  int skipped = 0;
  int first_skipped = 0;
  int raised = 0;
};

read_back read_all(const std::string& text) {
  // fmemopen keeps the buffer: it must outlive the reader.
  std::string buffer = text;
  std::FILE* fp = buffer.empty() ? nullptr : ::fmemopen(buffer.data(), buffer.size(), "r");
  score_reader reader(fp);
  read_back out;
  while (const note* n = reader.peek()) {
    out.notes.push_back(*n);
    reader.pop();
  }
  EXPECT_EQ(reader.peek(), nullptr);  // the end stays the end
  out.skipped = reader.skipped_lines();
  out.first_skipped = reader.first_skipped_line();
  out.raised = reader.raised_starts();
  return out;
}

std::string lines_of(const std::vector<note>& notes) {
  return test_support::text_of([&](std::FILE* fp) { write_note_lines(fp, notes); });
}

// Field for field, exactly: the readers' numbers are strtod's.
bool same(const std::vector<note>& a, const std::vector<note>& b) {
  const auto fields = [](const note& n) {
    return std::tie(n.instrument, n.start, n.duration, n.amplitude, n.frequency);
  };
  return std::ranges::equal(a, b, {}, fields, fields);
}

// Our own scores read back to the same lines; comments, blanks, CRLF, other
// statements and a missing last newline are taken as csound takes them; a
// start never goes back (raised to the one before) and "e" ends the score.
TEST(score_reader_test, ReadsOurScoresAndCsoundsSyntaxAndNeverLetsStartsGoBack) {
  const std::vector<note> own{{1, 0.0, 0.025, 500.0, 440.0},
                              {100, 0.0, 0.025, 0.0, 0.0},
                              {2, 0.025, 0.001, 1999.5, 12345.678901},
                              {3, 45.5, 0.025, 10.0, 27.5}};
  const struct {
    std::string text;
    std::vector<note> notes;
    int raised;
  } cases[] = {
      {"f1 0 8192 10 1\nf2 0 8193 7 0.0001 8192 1.0\n" + lines_of(own), own, 0},
      {"; a comment\r\n\r\n   \t\ni1 0 0.5 100 440 ; the first\r\ni 2\t0.5 0.5 +200 220 7 8\n"
       "t 0 60\ns\nf0 10\ni3 1 0.5 300 110",
       {{1, 0.0, 0.5, 100.0, 440.0}, {2, 0.5, 0.5, 200.0, 220.0}, {3, 1.0, 0.5, 300.0, 110.0}}, 0},
      {"i1 2 0.5 100 440\ni2 1 0.5 100 440\ni3 3 0.5 100 440\ne\ni4 4 0.5 100 440\n",
       {{1, 2.0, 0.5, 100.0, 440.0}, {2, 2.0, 0.5, 100.0, 440.0}, {3, 3.0, 0.5, 100.0, 440.0}}, 1},
      {"", {}, 0},  // no file at all
      {"\n\n;\n", {}, 0},
  };
  for (const auto& c : cases) {
    const read_back got = read_all(c.text);
    EXPECT_TRUE(same(got.notes, c.notes)) << c.text << "\nread back as\n" << lines_of(got.notes);
    EXPECT_EQ(std::pair(got.skipped, got.raised), std::pair(0, c.raised)) << c.text;
  }
}

TEST(score_reader_test, SkipsAndCountsGarbageAndNumbersNoScoreHas) {
  const std::string garbage =
      "hello\n"                      // 1
      "i1 0 0.5 100\n"               // 2: a field short
      "i0 0 0.5 100 440\n"           // 3: no such instrument
      "i101 0 0.5 100 440\n"         // 4
      "i1.5 0 0.5 100 440\n"         // 5: a fractional instrument
      "i1 nan 0.5 100 440\n"         // 6
      "i1 0 inf 100 440\n"           // 7
      "i1 0 0.5 1e300 440\n"         // 8: beyond any score's numbers
      "i1 -1 0.5 100 440\n"          // 9: before the start
      "i1 0 0.5 100 440x\n"          // 10
      "i1 . 0.5 100 440\n"           // 11: carried fields are not ours
      "ex\n"                         // 12
      + std::string(score_reader::longest_line + 5, '1') + "\n"  // 13
      + std::string("i1 0 0.5 1\0 440\n", 16) +                  // 14: a NUL
      "i2 2 0.5 100 440\n";
  const read_back got = read_all(garbage);
  EXPECT_TRUE(same(got.notes, {{2, 2.0, 0.5, 100.0, 440.0}})) << lines_of(got.notes);
  EXPECT_EQ(got.skipped, 14);
  EXPECT_EQ(got.first_skipped, 1);
}

// Notes no render writes are refused and counted: too long, after a long
// silence, too many at once (one per instrument per millisecond passes).
TEST(score_reader_test, RefusesNotesBeyondTheHorizonAndTheDensityARenderHas) {
  std::string text;
  for (int i = 0; i < 201; ++i)
    text += "i" + std::to_string(i % 100 + 1) + " " + std::to_string(i / 100 * 0.001) + " 10 1 1\n";
  text += "i1 0.003 10.5 1 1\ni1 1e9 1 1 1\n";
  for (int i = 0; i < 101; ++i) text += "i" + std::to_string(i % 100 + 1) + " 0.5 0.1 1 1\n";
  std::FILE* fp = ::fmemopen(text.data(), text.size(), "r");
  score_reader reader(fp);
  int notes = 0;
  for (; reader.peek(); reader.pop()) ++notes;
  EXPECT_EQ(notes, 201 + 100);
  EXPECT_EQ(reader.refused_notes(), 3);
  EXPECT_EQ(reader.first_refused_line(), 202);
  EXPECT_STREQ(reader.first_refusal(), "longer than 10 s");
}

}  // namespace
