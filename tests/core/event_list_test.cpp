// Appending, looking up, re-timing and deleting events.
#include <string>
#include <vector>

#include "events/event_list.h"
#include "test_support.h"

namespace {

using names = std::vector<std::string>;

class event_list_test : public test_support::core_test {
 protected:
  // name@time of every event, in list order.
  static names listing() {
    names out;
    for (const event_type* e = Event_List.get(); e; e = e->next.get())
      out.push_back(e->name + "@" + std::to_string(e->time_stamp));
    return out;
  }
  // Appends change events named by their times.
  static void add_at(std::initializer_list<int> times) {
    for (int t : times) {
      std::string name = "e";  // not "e" + ...: g++ 12 -O3 warns falsely (-Wrestrict)
      name += std::to_string(t);
      add_event_params(Current_State, name);
      event_number(0)->time_stamp = t;
    }
  }
};

// Appending at the tail's time is checked through the editor's buttons.
TEST_F(event_list_test, PositionsOutsideTheListNameTheLastEvent) {
  EXPECT_EQ(event_number(1), nullptr);
  EXPECT_EQ(find_event_time(3), 0);
  std::string name = "untouched";
  find_event_name(1, name);
  EXPECT_EQ(name, "untouched");
  add_at({5, 10, 15});
  for (int n : {0, 8}) EXPECT_EQ(event_number(n)->time_stamp, 15) << n;
}

TEST_F(event_list_test, RetimedEventGoesAfterEveryEventWithAnEqualOrSmallerTime) {
  EXPECT_EQ(set_event_time(1, 5), -1);  // empty list
  add_at({10, 25, 25, 40});
  const struct {
    int n, t, at;
    names after;
  } steps[] = {
      {1, 25, 3, {"e25@25", "e25@25", "e10@25", "e40@40"}},
      {4, 5, 1, {"e40@5", "e25@25", "e25@25", "e10@25"}},
      {2, -8, 1, {"e25@0", "e40@5", "e25@25", "e10@25"}},   // negative times become 0
      {0, 15, 3, {"e25@0", "e40@5", "e10@15", "e25@25"}},  // out of range: the last event
  };
  for (const auto& s : steps) {
    EXPECT_EQ(set_event_time(s.n, s.t), s.at) << s.n << "@" << s.t;
    EXPECT_EQ(listing(), s.after) << s.n << "@" << s.t;
  }
  clear_event_list();
  add_event_interp(Current_State, "wild", 0, 20);
  add_at({50});
  EXPECT_EQ(set_event_time(1, 60), 2);
  EXPECT_EQ(event_number(2)->end_time, 80);  // a glide keeps its length
}

TEST_F(event_list_test, DeleteUnlinksByPositionAndNeverLeavesTheRenderCursorDangling) {
  add_at({1, 2, 3, 4});
  Next_Event = event_number(2);
  delete_event(2);
  EXPECT_EQ(Next_Event, event_number(2));  // moved on to the successor
  delete_event(0);  // below the list: the first
  delete_event(3);  // beyond the end: nothing
  EXPECT_EQ(listing(), (names{"e3@3", "e4@4"}));
  EXPECT_EQ(Next_Event->time_stamp, 3);
  clear_event_list();
  EXPECT_EQ(Next_Event, nullptr);
}

TEST_F(event_list_test, AVeryLongListIsReleasedWithoutDeepRecursion) {
  for (int i = 0; i < 1000000; ++i) {  // built from the head: appending walks the list
    auto e = create_event(event_special);
    e->next = std::move(Event_List);
    Event_List = std::move(e);
  }
  Event_List.reset();
}

}  // namespace
