// The parameter file text: the writer, the reader and what it refuses.

#include "files/param_file.h"
#include "test_support.h"

namespace {

using namespace test_support;

class param_file_test : public core_test {
 protected:
  // Reads `text` into Current_State; returns the reader's result.
  int read(const std::string& text) {
    temp_stream in;
    return read_parameters(stream_of(in, text), Current_State);
  }
};

// The limits, where "%f" has no exact text for them, are written as the
// nearest text, which reads again. (A set written back as the same text:
// event_file_test, whose events hold sets.)
TEST_F(param_file_test, LimitsAreWrittenAsTextThatReadsAgain) {
  Current_State.iter = 321;
  ASSERT_EQ(read("r1=0.000001\nr2=1000\nk=0.0000001\nNs=2\nx=0\ny=1000\ndur=10\nnoinstrm=2\n"
                 "s0=0.01\ns1=22050\ni0=-1000\ni1=2000\nend\n"),
            0);
  EXPECT_EQ(Current_State.iter, 321);  // never in a file
  temp_stream out;
  EXPECT_EQ(write_parameters(out.get(), Current_State), 0);
  EXPECT_EQ(out.text(),
            "r1=0.000001\nr2=1000.000000\nk=0.000000\nNs=2\nx=0\ny=1000\ndur=10.000000\n"
            "noinstrm=2\ns0=0.010000\ns1=22049.994401\ni0=-1000.000000\ni1=2000.000000\nend\n");
  EXPECT_EQ(read(out.text()), 0);
}

// A line is cut at 128 characters and its rest skipped, not read as a line;
// a CR before the newline ends the line as the newline does.
TEST_F(param_file_test, LinesAreMatchedLikeScanfPatternsUpToTheEndLine) {
  temp_stream in;
  const std::string long_line = std::string(128, 'x') + "y=7\n";
  std::FILE* fp = stream_of(in, "NS=3\nr1= 2.5trailing\r\niter=5\nx =7\ny=60\r\n" + long_line +
                                    "iter=9\r\nend\r\nr2=9");
  EXPECT_EQ(read_parameters(fp, Current_State), 0);
  EXPECT_EQ(Current_State.Ns, 40);    // another case is another key
  EXPECT_EQ(Current_State.r1, 2.5f);  // blanks before a number, junk after
  EXPECT_EQ(Current_State.x, 50);
  EXPECT_EQ(Current_State.y, 60);
  EXPECT_EQ(Current_State.iter, 9);  // keys repeat: the last wins
  std::string rest;
  EXPECT_EQ(Readline(rest, fp, 128), 4);  // what follows "end" is left unread
  EXPECT_EQ(rest, "r2=9");                // a last line without its newline
  EXPECT_EQ(Readline(rest, fp, 128), -2);
}

TEST_F(param_file_test, SetsTheEngineCannotPlayAndLinesThatCannotBeStoredAreRefused) {
  // One case per limit; "x=99999999999": no integer overflow.
  const std::pair<const char*, const char*> cases[] = {
      {"r1=0.5\nNs=101", "Ns=101"},        {"noinstrm=0", "noinstrm=0"},
      {"x=1001", "x=1001"},                 {"y=-1", "y=-1"},
      {"r1=0", "r1=0.000000"},              {"r2=1000.5", "r2=1000.500000"},
      {"k=-1", "k=-1.000000"},              {"k=nan", "k=nan"},
      {"r1=1e999", "r1=inf"},               {"s100=5", "s100=5"},
      {"i-1=5", "i-1=5"},                   {"x=99999999999", "x=99999999999"},
      {"dur=3600", "dur=3600.000000"},      {"dur=0.0009", "dur=0.000900"},
      {"s1=0.009", "s1=0.009"},             {"s2=22051", "s2=22051"},
      {"i0=-1e30", "i0=-1e30"},             {"i1=2000.5", "i1=2000.5"},
      {"s0=3.4e38", "s0=3.4e38"},           {"r2=4e-7", "r2=0.000000"},
  };
  const parameters_type before = Current_State;
  for (const auto& [lines, shown] : cases) {
    const std::string text = lines + std::string("\nend\n");
    const std::string said = stderr_of([&] { EXPECT_EQ(read(text), -1); });
    EXPECT_EQ(said.rfind("Parameter out of range: " + std::string(shown) + " (", 0), 0u) << said;
    EXPECT_EQ(Current_State, before) << lines;
  }
  // Each refusal says what the key takes; a key's line without a number is
  // refused too, rather than leaving the value the set held before.
  for (const auto& [line, said] :
       {std::pair("dur=50", "Parameter out of range: dur=50.000000 (the grain duration, 0.001 to "
                            "10 s)\n"),
        {"s5=abc", "Parameter not a number: s5=abc (a state's frequency, 0.01 to 22050 Hz, for "
                   "states 0 to 99)\n"},
        {"x=", "Parameter not a number: x= (cells, 0 to 1000)\n"}}) {
    EXPECT_EQ(stderr_of([&, line = line] { EXPECT_EQ(read(line + std::string("\nend\n")), -1); }),
              said);
    EXPECT_EQ(Current_State, before) << line;
  }
}

// A parameter file says "reduce=mode" before its "end" when the mode is in
// force, then the grain design's keys that differ from their defaults, and
// nothing otherwise; a reader that knows no such line (the event list's,
// read_parameters) skips it.
TEST_F(param_file_test, AParameterFileRemembersTheModeInALineOlderReadersSkip) {
  for (const int mode : {0, 1}) {
    temp_stream out;
    grain_design design;
    if (mode == 1) design.wave = grain_wave::saw, design.space = 0.5;
    write_parameter_file(out.get(), Current_State, mode, design);
    temp_stream plain;
    write_parameters(plain.get(), Current_State);
    std::string expected = plain.text();
    if (mode == 1) expected.insert(expected.size() - 4, "reduce=mode\nwave=saw\nspace=0.500000\n");
    EXPECT_EQ(out.text(), expected);

    int read_mode = 1 - mode;
    grain_design read_design;
    read_design.overlap = 3;  // a key the file leaves out comes back to its default
    temp_stream in;
    EXPECT_EQ(read_parameter_file(stream_of(in, out.text()), Current_State, read_mode, &read_design),
              0);
    EXPECT_EQ(read_mode, mode);
    EXPECT_EQ(read_design, design);
    const parameters_type before = Current_State;
    EXPECT_EQ(read(out.text()), 0);
    EXPECT_EQ(Current_State, before);
  }
  int unchanged = 1;
  grain_design kept;
  for (const char* text : {"reduce=mean\nr1=0\nend\n", "reduce=mean\nwave=flute\nend\n",
                           "overlap=9\nend\n"}) {
    temp_stream refused;
    EXPECT_EQ(read_parameter_file(stream_of(refused, text), Current_State, unchanged, &kept), -1);
    EXPECT_EQ(unchanged, 1);  // a refused file changes nothing, the reduction neither
    EXPECT_EQ(kept, grain_design{});
  }
}

}  // namespace
