// The event list text: writing, reading back and what is refused.
#include "files/event_file.h"

#include <algorithm>

#include "test_support.h"

namespace {

using namespace test_support;

class event_file_test : public core_test {
 protected:
  // Reads a whole list; its messages are kept in err.
  int read(const std::string& text) {
    int result = 0;
    err = stderr_of([&] {
      temp_stream in;
      result = read_event_list(stream_of(in, text));
    });
    return result;
  }
  static std::string written() {
    temp_stream out;
    write_event_list(out.get());
    return out.text();
  }
  std::string err;
};

// Names may hold blanks or be empty.
TEST_F(event_file_test, AListReadsAndIsWrittenBackAsTheSameText) {
  std::string text = example_file;
  text.replace(text.find("name=calm"), 9, "name=my calm");
  text.replace(text.find("name=Reseed"), 11, "name=");
  EXPECT_EQ(read(text), 1);
  EXPECT_EQ(err, "");  // the end of the file ends the list, silently
  ASSERT_EQ(List_Size, 3);
  EXPECT_EQ(event_number(2)->end_time, 300);
  EXPECT_EQ(event_number(2)->params->states[0], 60.0f);
  EXPECT_EQ(written(), text);
}

// Lines ended by CR LF, or a last line without its newline, read as plain
// lines; the list is written back with plain newlines.
TEST_F(event_file_test, CrLfLinesAndAMissingLastNewlineReadAsPlainLines) {
  std::string crlf;
  for (const char c : example_file) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (const std::string& text : {crlf, crlf.substr(0, crlf.size() - 2),
                                  example_file.substr(0, example_file.size() - 1)}) {
    clear_event_list();
    EXPECT_EQ(read(text), 1) << err;
    EXPECT_EQ(written(), example_file);
  }
  // A name ending in CRs loses them all, one with a NUL what follows it, so
  // that each reads back as written.
  for (const std::string& calm : {std::string("calm\r\r\r"), std::string("calm\r\0more", 10)}) {
    std::string odd = example_file;
    odd.replace(odd.find("name=calm\n") + 5, 4, calm);
    temp_stream in;  // written whole: fputs would stop at the NUL
    std::fwrite(odd.data(), 1, odd.size(), in.get());
    std::rewind(in.get());
    EXPECT_EQ(read_event_list(in.get()), 1);
    EXPECT_EQ(written(), example_file);
  }
}

// Each step of a block has its message; a refusal anywhere keeps the list.
TEST_F(event_file_test, AnyRefusedEventRefusesTheWholeFileAndAnEmptyOneEmptiesTheList) {
  ASSERT_EQ(read(example_file), 1);
  std::string bad_second_type = example_file;
  bad_second_type.replace(bad_second_type.find("type=2"), 6, "type=9");
  const std::pair<std::string, std::string> cases[] = {
      {"event \n", "bad start\nline 1: \"event \", where a block begins with \"event\"\n"},
      {"event", "bad format @ type \nthe list ends at line 1, inside an event\n"},
      {"event\n", "bad format @ type \nthe list ends at line 1, inside an event\n"},
      {"event\ntype=9\ntime=0\n", "bad type\nline 2: \"type=9\", where \"type=1\" to 3\n"},
      {"event\ntype=3\ntime=soon\n",
       "bad time\nline 3: \"time=soon\", where \"time=\" and an iteration\n"},
      {"event\ntype=3\ntime=5\n", "bad format @ name\nthe list ends at line 3, inside an event\n"},
      {"event\ntype=3\ntime=5\nnom=x\n", "bad name\nline 4: \"nom=x\", where \"name=\"\n"},
      {"event\ntype=2\ntime=5\nname=x\n\n",
       "bad format\nline 5: \"\", where \"finish time=\" and an iteration\n"},
      {"event\ntype=2\ntime=5\nname=x\nfinish=9\n",
       "bad name\nline 5: \"finish=9\", where \"finish time=\" and an iteration\n"},
      {"event\ntype=3\ntime=5\nname=x\n", "bad format @ end \nthe list ends at line 4, inside an event\n"},
      {"event\ntype=3\ntime=5\nname=x\nend\r\r\n",  // one CR ends a line
       "bad end\nline 5: \"end\r\", where \"end\"\n"},
      {"event\ntype=1\ntime=0\nname=a\nr1=0\nend\n",
       "Parameter out of range: r1=0.000000 (a divisor of the rule, 0.000001 to 1000)\n"},
      {bad_second_type, "bad type\nline 17: \"type=9\", where \"type=1\" to 3\n"},
      {example_file + "\n", "bad start\nline 37: \"\", where a block begins with \"event\"\n"},
      {"r1=3\nend\n", "bad start\nline 1: \"r1=3\", where a block begins with \"event\"\n"},
  };
  for (const auto& [text, reason] : cases) {
    EXPECT_EQ(read(text), -1) << text;
    EXPECT_EQ(err, reason + "Format error in event list\n");
    EXPECT_EQ(written(), example_file) << text;
    EXPECT_EQ(List_Size, 3);
  }
  // A long list refused at its end is released without deep recursion.
  std::string many;
  for (int i = 0; i < 1000000; ++i) many += "event\ntype=3\ntime=0\nname=\nend\n";
  EXPECT_EQ(read(many + "end\n"), -1);
  // What an empty list is saved as loads as an empty list.
  clear_event_list();
  const std::string empty = written();
  ASSERT_EQ(read(example_file), 1);
  EXPECT_EQ(read(empty), 0);
  EXPECT_EQ(err + std::to_string(List_Size), "0");
  EXPECT_EQ(Event_List, nullptr);
}

}  // namespace
