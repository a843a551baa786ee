// The score reader of the grain voices' opcode: our own scores read back
// exactly, anything else read safely.
#include "engine/score_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/iteration.h"

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
  std::string text;
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* fp = ::open_memstream(&data, &size);
  write_note_lines(fp, notes);
  std::fclose(fp);
  text.assign(data, size);
  std::free(data);
  return text;
}

void expect_note(const note& n, int instrument, double start, double duration, double amplitude,
                 double frequency) {
  EXPECT_EQ(n.instrument, instrument);
  EXPECT_DOUBLE_EQ(n.start, start);
  EXPECT_DOUBLE_EQ(n.duration, duration);
  EXPECT_DOUBLE_EQ(n.amplitude, amplitude);
  EXPECT_DOUBLE_EQ(n.frequency, frequency);
}

TEST(score_reader_test, ReadsTheProgramsOwnScoreBackToTheSameLines) {
  const std::vector<note> notes{{1, 0.0, 0.025, 500.0, 440.0},
                                {100, 0.0, 0.025, 0.0, 0.0},
                                {2, 0.025, 0.001, 1999.5, 12345.678901},
                                {3, 12345.5, 0.025, 10.0, 27.5}};
  const read_back got = read_all(std::string("f1 0 8192 10 1\nf2 0 8193 7 0.0001 8192 1.0\n") +
                                 lines_of(notes));
  EXPECT_EQ(lines_of(got.notes), lines_of(notes));
  EXPECT_EQ(got.skipped, 0);
  EXPECT_EQ(got.raised, 0);
}

TEST(score_reader_test, TakesCommentsBlanksCrlfAndAMissingLastNewlineAsCsoundDoes) {
  const read_back got = read_all(
      "; a comment\r\n\r\n   \t\n"
      "i1 0 0.5 100 440 ; the first\r\n"
      "i 2\t0.5 0.5 +200 220 7 8\n"
      "t 0 60\ns\nf0 10\n"
      "i3 1 0.5 300 110");
  ASSERT_EQ(got.notes.size(), 3u);
  expect_note(got.notes[0], 1, 0.0, 0.5, 100.0, 440.0);
  expect_note(got.notes[1], 2, 0.5, 0.5, 200.0, 220.0);
  expect_note(got.notes[2], 3, 1.0, 0.5, 300.0, 110.0);
  EXPECT_EQ(got.skipped, 0);
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
  ASSERT_EQ(got.notes.size(), 1u);
  expect_note(got.notes[0], 2, 2.0, 0.5, 100.0, 440.0);
  EXPECT_EQ(got.skipped, 14);
  EXPECT_EQ(got.first_skipped, 1);
}

TEST(score_reader_test, NeverLetsStartsGoBackAndStopsAtTheEndStatement) {
  const read_back got = read_all(
      "i1 2 0.5 100 440\n"
      "i2 1 0.5 100 440\n"
      "i3 3 0.5 100 440\n"
      "e\n"
      "i4 4 0.5 100 440\n");
  ASSERT_EQ(got.notes.size(), 3u);
  EXPECT_DOUBLE_EQ(got.notes[1].start, 2.0);  // raised to the one before
  EXPECT_DOUBLE_EQ(got.notes[2].start, 3.0);
  EXPECT_EQ(got.raised, 1);
  EXPECT_TRUE(read_all("").notes.empty());  // no file at all
  EXPECT_TRUE(read_all("\n\n;\n").notes.empty());
}

}  // namespace
