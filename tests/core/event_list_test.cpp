// The event list: appending, looking up, re-timing and deleting events, and
// applying them during a render (changes, glides and reseeds).

#include "events/event_apply.h"
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

// Appending at the tail's time, and a re-timed glide keeping its length, are
// checked through the editor's buttons.
TEST_F(event_list_test, RetimedEventGoesAfterEveryEventWithAnEqualOrSmallerTime) {
  EXPECT_EQ(set_event_time(1, 5), -1);  // an empty list has nothing to find
  EXPECT_EQ(find_event_time(3), 0);
  std::string name = "untouched";
  find_event_name(1, name);
  EXPECT_EQ(name, "untouched");
  add_at({10, 25, 25, 40});
  const struct {
    int n, t, at;
    names after;
  } steps[] = {
      {1, 25, 3, {"e25@25", "e25@25", "e10@25", "e40@40"}},
      {4, 5, 1, {"e40@5", "e25@25", "e25@25", "e10@25"}},
      {2, -8, 1, {"e25@0", "e40@5", "e25@25", "e10@25"}},   // negative times become 0
      {0, 15, 3, {"e25@0", "e40@5", "e10@15", "e25@25"}},  // out of range: the last event
      {9, 1, 2, {"e25@0", "e25@1", "e40@5", "e10@15"}},
  };
  for (const auto& s : steps) {
    EXPECT_EQ(set_event_time(s.n, s.t), s.at) << s.n << "@" << s.t;
    EXPECT_EQ(listing(), s.after) << s.n << "@" << s.t;
  }
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

class event_apply_test : public test_support::core_test {
 protected:
  // Runs update_parameters for iteration t, as the render driver does.
  void at(int t) {
    Current_Iteration = t;
    update_parameters(*grid);
  }
  void start_render() {
    Next_Event = Event_List.get();
    Interp_Flag = 0;
  }
  static parameters_type with_r1(float r1) {
    parameters_type p = Current_State;
    p.r1 = r1;
    return p;
  }
  std::unique_ptr<grid_type> grid = std::make_unique<grid_type>();
};

TEST_F(event_apply_test, GlideIsLinearInDoublePrecisionAndEndsAtItsTarget) {
  add_event_interp(with_r1(1.2f), "glide", 100, 104);
  start_render();
  std::vector<float> glide;
  for (int t = 100; t <= 105; ++t, glide.push_back(Current_State.r1)) at(t);
  EXPECT_EQ(glide, (std::vector<float>{0.8f, 0.90000004f, 1.0f, 1.1f, 1.2f, 1.2f}));
  EXPECT_EQ(Interp_Flag, 0);
  for (int end : {7, 3}) {  // no divisions: straight to the target
    clear_event_list();
    add_event_interp(with_r1(2.0f), "jump", 7, end);
    start_render();
    at(7);
    EXPECT_EQ(std::pair(Current_State.r1, Interp_Flag), std::pair(2.0f, 0)) << end;
  }
}

TEST_F(event_apply_test, ChangeWaitsForAGlideAndKeepsGridSizeCountsAndStopAt) {
  add_event_interp(with_r1(1.2f), "glide", 0, 2);
  parameters_type target = with_r1(3.0f);
  target.iter = 77;
  target.Ns = 12;
  target.x = target.y = 300;
  target.noinstrm = 4;
  add_event_params(target, "after");
  event_number(2)->time_stamp = 1;
  start_render();
  at(0);
  at(1);
  EXPECT_EQ(Current_State.r1, 1.0f);
  EXPECT_EQ(Next_Event, event_number(2));
  at(2);  // the glide arrives, then the change applies
  EXPECT_EQ(Next_Event, nullptr);
  target.Ns = 40;
  target.x = target.y = 50;
  target.noinstrm = 25;
  target.iter = 600;
  EXPECT_EQ(Current_State, target);
}

TEST_F(event_apply_test, ReseedDoesNotWaitForAGlideButAChangeBlocksIt) {
  add_event_interp(with_r1(1.2f), "glide", 0, 10);
  add_event_special();
  add_event_params(with_r1(5.0f), "blocked");
  add_event_special();
  start_render();
  (*grid)[1][1] = 12345;
  at(0);
  EXPECT_NE((*grid)[1][1], 12345);
  EXPECT_EQ(Next_Event, event_number(3));
  (*grid)[1][1] = 12345;
  at(1);
  EXPECT_EQ((*grid)[1][1], 12345);
  EXPECT_EQ(Interp_Flag, 1);
}

}  // namespace
