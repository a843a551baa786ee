// Appending, looking up, re-timing and deleting events.
#include <string>
#include <vector>

#include "events/event_list.h"
#include "test_support.h"

namespace {

using test_support::core_test;

class event_list_test : public core_test {
 protected:
  // name@time of every event, in list order.
  static std::vector<std::string> listing() {
    std::vector<std::string> out;
    for (const event_type* e = Event_List.get(); e; e = e->next.get())
      out.push_back(e->name + "@" + std::to_string(e->time_stamp));
    return out;
  }
  // Appends change events named by their times.
  static void add_at(std::initializer_list<int> times) {
    for (int t : times) {
      add_event_params(Current_State, "e" + std::to_string(t));
      event_number(0)->time_stamp = t;
    }
  }
};

using names = std::vector<std::string>;

TEST_F(event_list_test, CreateEventGivesParameterSetsOnlyToChangeAndInterpolation) {
  EXPECT_NE(create_event(event_change)->params, nullptr);
  EXPECT_NE(create_event(event_interp)->params, nullptr);
  EXPECT_EQ(create_event(event_special)->params, nullptr);
  EXPECT_EQ(create_event(event_end)->type, event_end);
  EXPECT_EQ(create_event(0), nullptr);
  EXPECT_EQ(create_event(5), nullptr);
}

TEST_F(event_list_test, AppendedEventsTakeTheTailsTime) {
  add_event_params(Current_State, "default.csp");
  EXPECT_EQ(listing(), names{"default.csp@0"});
  event_number(1)->time_stamp = 40;
  add_event_special();
  add_event_interp(Current_State, "default.csp", 40, 140);
  EXPECT_EQ(listing(), (names{"default.csp@40", "Reseed@40", "->default.csp@40"}));
  int length = -1;
  find_event_length(3, length);
  EXPECT_EQ(length, 100);
  find_event_length(2, length);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(event_number(1)->params->Ns, 40);  // a whole copy of the set
}

TEST_F(event_list_test, PositionsOutsideTheListNameTheLastEvent) {
  EXPECT_EQ(event_number(1), nullptr);
  EXPECT_EQ(find_event_time(3), 0);
  std::string name = "untouched";
  int type = -7;
  find_event_name(1, name);
  find_event_type(1, type);
  EXPECT_EQ(name, "untouched");
  EXPECT_EQ(type, -7);

  add_at({5, 10, 15});
  for (int n : {0, -3, 3, 8}) EXPECT_EQ(event_number(n)->time_stamp, 15) << n;
  EXPECT_EQ(event_number(2)->time_stamp, 10);
  List_Size = 3;
  EXPECT_EQ(find_event_time(List_Size), 15);
}

TEST_F(event_list_test, LongNamesAreCutTo99Characters) {
  const std::string long_name(150, 'n');
  add_event_params(Current_State, long_name);
  add_event_interp(Current_State, long_name, 0, 10);
  EXPECT_EQ(event_number(1)->name, long_name.substr(0, 99));
  EXPECT_EQ(event_number(2)->name, "->" + long_name.substr(0, 97));
}

TEST_F(event_list_test, RetimedEventGoesAfterEveryEventWithAnEqualOrSmallerTime) {
  EXPECT_EQ(set_event_time(1, 5), -1);  // empty list
  add_at({10, 25, 25, 40});
  EXPECT_EQ(set_event_time(1, 25), 3);
  EXPECT_EQ(listing(), (names{"e25@25", "e25@25", "e10@25", "e40@40"}));
  EXPECT_EQ(set_event_time(4, 5), 1);  // smaller than every other: the new head
  EXPECT_EQ(listing(), (names{"e40@5", "e25@25", "e25@25", "e10@25"}));
  EXPECT_EQ(set_event_time(1, 99), 4);
  EXPECT_EQ(listing(), (names{"e25@25", "e25@25", "e10@25", "e40@99"}));
  clear_event_list();
  add_at({10});
  EXPECT_EQ(set_event_time(1, 70), 1);
  EXPECT_EQ(listing(), names{"e10@70"});
}

TEST_F(event_list_test, NegativeTimeBecomesZeroAndRetimingKeepsAGlidesLength) {
  add_at({10, 20});
  EXPECT_EQ(set_event_time(2, -8), 1);
  EXPECT_EQ(listing(), (names{"e20@0", "e10@10"}));
  add_at({30});
  EXPECT_EQ(set_event_time(3, -1), 2);  // after the event already at 0
  EXPECT_EQ(listing(), (names{"e20@0", "e30@0", "e10@10"}));
  clear_event_list();
  add_event_interp(Current_State, "wild", 0, 20);
  add_at({50});
  EXPECT_EQ(set_event_time(1, 60), 2);
  int length = 0;
  find_event_length(2, length);
  EXPECT_EQ(length, 20);
  EXPECT_EQ(event_number(2)->end_time, 80);
}

TEST_F(event_list_test, OutOfRangePositionsRetimeTheLastEventWithoutCorruptingTheList) {
  add_at({10, 20, 30});
  EXPECT_EQ(set_event_time(0, 15), 2);
  EXPECT_EQ(listing(), (names{"e10@10", "e30@15", "e20@20"}));
  EXPECT_EQ(set_event_time(7, 1), 1);
  EXPECT_EQ(listing(), (names{"e20@1", "e10@10", "e30@15"}));
}

TEST_F(event_list_test, DeleteUnlinksByPositionAndMovesTheRenderCursorOn) {
  add_at({1, 2, 3, 4});
  delete_event(3);
  EXPECT_EQ(listing(), (names{"e1@1", "e2@2", "e4@4"}));
  delete_event(0);
  EXPECT_EQ(listing(), (names{"e2@2", "e4@4"}));
  delete_event(3);
  EXPECT_EQ(listing(), (names{"e2@2", "e4@4"}));
  delete_event(2);
  delete_event(1);
  EXPECT_EQ(Event_List, nullptr);
  // The render cursor never points at a released event.
  add_at({1, 2, 3});
  Next_Event = event_number(2);
  delete_event(2);
  EXPECT_EQ(Next_Event, event_number(2));
  EXPECT_EQ(Next_Event->time_stamp, 3);
  delete_event(2);
  EXPECT_EQ(Next_Event, nullptr);
  Next_Event = event_number(1);
  List_Size = 1;
  clear_event_list();
  EXPECT_EQ(Next_Event, nullptr);
  EXPECT_EQ(List_Size, 0);
  EXPECT_EQ(Event_List, nullptr);
}

TEST_F(event_list_test, AVeryLongListIsReleasedWithoutDeepRecursion) {
  test_support::prepend_reseeds(1000000);
  Event_List.reset();
}

}  // namespace
