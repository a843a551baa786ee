// The event list text: writing, reading back and what is refused.
#include <string>

#include "events/event_list.h"
#include "files/event_file.h"
#include "test_support.h"

namespace {

using test_support::stderr_of;
using test_support::stream_of;
using test_support::temp_stream;

using test_support::example_file;

class event_file_test : public test_support::core_test {
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

TEST_F(event_file_test, ExampleListIsWrittenAsEventBlocksAndReadsBackWithMessages) {
  auto one_state = [](float r1, float r2, float s0, float i0) {
    parameters_type p = Current_State;
    p.r1 = r1;
    p.r2 = r2;
    p.Ns = p.noinstrm = 1;
    p.states[0] = s0;
    p.instrm[0] = i0;
    return p;
  };
  add_event_params(one_state(0.8f, 1.2f, 50.0f, 50.0f), "calm");
  add_event_interp(one_state(0.9f, 1.3f, 60.0f, 25.0f), "wild", 100, 300);
  add_event_special();
  event_number(3)->time_stamp = 200;
  EXPECT_EQ(written(), example_file);
  clear_event_list();
  (void)echo();
  EXPECT_EQ(read(example_file), 1);
  EXPECT_EQ(err, "bad format @ event:  \n");  // the end of the file ends the list
  EXPECT_EQ(List_Size, 3);
  EXPECT_EQ(written(), example_file);
  const std::string echoed = echo();
  for (const char* line : {"wail\n", "loading 2\n", "loading 3\n"})
    EXPECT_NE(echoed.find(line), std::string::npos) << line;
}

TEST_F(event_file_test, NamesWithBlanksAndEmptyNamesSurviveARoundTrip) {
  for (const std::string& name : {std::string("my file"), std::string()})
    add_event_params(Current_State, name);
  const std::string text = written();
  clear_event_list();
  EXPECT_EQ(read(text), 1);
  EXPECT_EQ(List_Size, 2);
  EXPECT_EQ(event_number(1)->name, "my file");
  EXPECT_EQ(event_number(2)->name, "");
}

TEST_F(event_file_test, EachMalformedStepHasItsMessage) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "bad format @ event:  \n"},
      {"event \n", "bad start\n"},
      {"event", "bad format @ event: event \n"},
      {"event\n", "bad format @ type \n"},
      {"event\ntype=9\ntime=0\n", "bad type"},
      {"event\ntype=99999999999\n", "bad type"},
      {"event\ntype=3\ntime=soon\n", "bad time"},
      {"event\ntype=3\ntime=5\n", "bad format @ name\n"},
      {"event\ntype=3\ntime=5\nnom=x\n", "bad name"},
      {"event\ntype=2\ntime=5\nname=x\n\n", "bad format"},
      {"event\ntype=2\ntime=5\nname=x\nfinish=9\n", "bad name"},
      {"event\ntype=3\ntime=5\nname=x\n", "bad format @ end \n"},
      {"event\ntype=3\ntime=5\nname=x\nend\r\n", "bad end"},
      {"event\ntype=1\ntime=5\nname=x\nNs=0\nend\n", "Parameter out of range: Ns=0\n"},
  };
  for (const auto& [text, message] : cases) {
    temp_stream in;
    EXPECT_EQ(stderr_of([&] { EXPECT_EQ(read_event(stream_of(in, text)), nullptr) << text; }),
              message)
        << text;
  }
}

TEST_F(event_file_test, AnyRefusedEventRefusesTheWholeFileAndKeepsTheCurrentList) {
  ASSERT_EQ(read(example_file), 1);
  std::string bad_second_type = example_file;
  bad_second_type.replace(bad_second_type.find("type=2"), 6, "type=9");
  const std::pair<std::string, std::string> cases[] = {
      {"events\n", "bad start\n"},
      {"event\ntype=1\ntime=0\nname=a\nr1=0\nend\n", "Parameter out of range: r1=0.000000\n"},
      {bad_second_type, "bad type"},
      {example_file + "\n", "bad start\n"},
  };
  for (const auto& [text, reason] : cases) {
    EXPECT_EQ(read(text), -1) << text;
    EXPECT_EQ(err, reason + "Format error in event list\n");
    EXPECT_EQ(written(), example_file) << text;
    EXPECT_EQ(List_Size, 3);
  }
}

TEST_F(event_file_test, AnEmptyListIsSavedAndLoadedBackAsAnEmptyList) {
  ASSERT_EQ(read(example_file), 1);
  clear_event_list();
  const std::string empty = written();
  ASSERT_EQ(read(example_file), 1);
  EXPECT_EQ(read(empty), 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(List_Size, 0);
  EXPECT_EQ(Event_List, nullptr);
}

}  // namespace
