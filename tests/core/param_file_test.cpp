// The parameter file text: Readline, the writer, the reader and what it
// refuses.
#include <string>

#include "files/param_file.h"
#include "test_support.h"

namespace {

using test_support::core_test;
using test_support::stream_of;
using test_support::temp_stream;

constexpr const char* small_set_text =
    "r1=0.800000\nr2=1.200000\nk=1.000000\nNs=3\nx=50\ny=50\ndur=0.025000\nnoinstrm=2\n"
    "s0=121.510418\ns1=317.348329\ns2=1339.430764\ni0=500.000000\ni1=250.000000\nend\n";

class param_file_test : public core_test {
 protected:
  static parameters_type small_set() {
    parameters_type p = Current_State;
    p.Ns = 3;
    p.noinstrm = 2;
    p.states[0] = 50.0f;
    p.states[1] = 60.0f;
    p.states[2] = 75.0f;
    p.instrm[0] = 50.0f;
    p.instrm[1] = 25.0f;
    return p;
  }
  // Reads `text` into Current_State; returns the reader's result.
  int read(const std::string& text) {
    temp_stream in;
    return read_parameters(stream_of(in, text), Current_State);
  }
  // Reads a text that must be refused; returns the message on stderr.
  std::string refused(const std::string& text) {
    const parameters_type before = Current_State;
    testing::internal::CaptureStderr();
    EXPECT_EQ(read(text), -1) << text;
    EXPECT_EQ(Current_State, before) << text;
    return testing::internal::GetCapturedStderr();
  }
};

TEST_F(param_file_test, ReadlineKeepsAtMostMaxLenAndSkipsTheRest) {
  temp_stream in;
  std::FILE* fp = stream_of(in, "abc\n\n" + std::string(200, 'x') + "\nnext\r\ntail");
  std::string buf;
  EXPECT_EQ(Readline(buf, fp, 128), 3);
  EXPECT_EQ(buf, "abc");
  EXPECT_EQ(Readline(buf, fp, 128), 0);
  EXPECT_EQ(Readline(buf, fp, 128), 128);
  EXPECT_EQ(buf, std::string(128, 'x'));
  EXPECT_EQ(Readline(buf, fp, 128), 5);
  EXPECT_EQ(buf, "next\r");  // a carriage return is an ordinary character
  EXPECT_EQ(Readline(buf, fp, 128), -2);
  EXPECT_EQ(buf, "tail");
  EXPECT_EQ(Readline(buf, fp, 128), -2);
}

TEST_F(param_file_test, WriterProducesTheKeyValueTextThatReadsBackWithEchoes) {
  temp_stream out;
  EXPECT_EQ(write_parameters(out.get(), small_set()), 0);
  EXPECT_EQ(out.text(), small_set_text);
  EXPECT_EQ(echo(), "Chug\n");
  Current_State.iter = 321;
  EXPECT_EQ(read(small_set_text), 0);
  parameters_type expected = small_set();
  expected.iter = 321;  // never in the file
  EXPECT_EQ(Current_State, expected);
  EXPECT_EQ(echo(),
            "Chug\nr1=0.800000 \nr2=1.200000 \nk=1.000000 \nNs=3\nx=50\ny=50 \ndur=0.025000 \n"
            "noinstrm=2\n");
}

TEST_F(param_file_test, DefaultSetSurvivesARoundTrip) {
  temp_stream file;
  write_parameters(file.get(), Current_State);
  std::rewind(file.get());
  const parameters_type written = Current_State;
  Current_State.r1 = 3.0f;
  Current_State.states[7] = 1.0f;
  EXPECT_EQ(read_parameters(file.get(), Current_State), 0);
  EXPECT_EQ(Current_State, written);
}

TEST_F(param_file_test, LinesAreMatchedLikeScanfPatterns) {
  EXPECT_EQ(read("NS=3\nr1= 2.5trailing\niter=5\ns5=\nx =7\nk=abc\ny=60\n"
                 "iter=9\ni3=120\nend\nr2=9\n"),
            0);
  EXPECT_EQ(Current_State.Ns, 40);    // another case is another key
  EXPECT_EQ(Current_State.r1, 2.5f);  // blanks before a number, junk after
  EXPECT_EQ(Current_State.iter, 9);   // keys repeat: the last wins
  EXPECT_EQ(Current_State.states[5], 50.0f);  // s5= without a value
  EXPECT_EQ(Current_State.x, 50);
  EXPECT_EQ(Current_State.k, 1.0f);
  EXPECT_EQ(Current_State.y, 60);
  EXPECT_EQ(Current_State.instrm[3], 12.0f);
  EXPECT_EQ(Current_State.r2, 1.2f);  // after "end" nothing is read
}

TEST_F(param_file_test, ReadingStopsRightAfterEndOrAtEndOfFile) {
  temp_stream in;
  std::FILE* fp = stream_of(in, "x=10\nend\nevent\n");
  EXPECT_EQ(read_parameters(fp, Current_State), 0);
  std::string rest;
  EXPECT_EQ(Readline(rest, fp, 128), 5);
  EXPECT_EQ(rest, "event");
  EXPECT_EQ(read(""), 0);
  EXPECT_EQ(read("x=10\ny=20"), 0);  // an unterminated last line is ignored
  EXPECT_EQ(Current_State.x, 10);
  EXPECT_EQ(Current_State.y, 50);
  EXPECT_EQ(read("end \nx=11\nend\r\nx=12\n"), 0);  // neither is the end line
  EXPECT_EQ(Current_State.x, 12);
}

TEST_F(param_file_test, StatesAboveNsAreReadButNotWrittenBack) {
  EXPECT_EQ(read("Ns=5\ns7=317.348329\nend\n"), 0);
  EXPECT_EQ(Current_State.states[7], 60.0f);
  EXPECT_EQ(Current_State.states[0], 50.0f);
  temp_stream out;
  write_parameters(out.get(), Current_State);
  EXPECT_EQ(out.text().find("s7="), std::string::npos);
}

TEST_F(param_file_test, SetsTheEngineCannotPlayAndLinesThatCannotBeStoredAreRefused) {
  const std::pair<const char*, const char*> cases[] = {
      {"r1=0.5\nNs=101", "Ns=101"},        {"noinstrm=0", "noinstrm=0"},
      {"x=1001", "x=1001"},                 {"y=-1", "y=-1"},
      {"r1=0", "r1=0.000000"},              {"r2=1000.5", "r2=1000.500000"},
      {"k=-1", "k=-1.000000"},              {"k=nan", "k=nan"},
      {"dur=inf", "dur=inf"},               {"r1=1e999", "r1=inf"},
      {"s100=5", "s100=5"},                 {"i-1=5", "i-1=5"},
      {"s3=0", "s3=0"},                     {"s3=-4", "s3=-4"},
      {"i3=inf", "i3=inf"},                 {"x=99999999999", "x=99999999999"},
      {"s99999999999=5", "s99999999999=5"}, {"iter=-2147483649", "iter=-2147483649"},
  };
  for (const auto& [lines, shown] : cases)
    EXPECT_EQ(refused(std::string(lines) + "\nend\n"),
              "Parameter out of range: " + std::string(shown) + "\n");
}

TEST_F(param_file_test, ExtremesThatCanBePlayedAreAccepted) {
  EXPECT_EQ(read("Ns=100\nnoinstrm=100\nx=1000\ny=0\nr1=1000\nr2=0.000001\nk=0\nend\n"), 0);
  EXPECT_EQ(Current_State.Ns, 100);
  EXPECT_EQ(Current_State.r1, 1000.0f);
  EXPECT_EQ(read("k=1000\ns99=0.5\ni99=1000\nend\n"), 0);
  EXPECT_LT(Current_State.states[99], 0.0f);  // below 1 Hz
}

}  // namespace
