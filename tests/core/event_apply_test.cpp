// Applying events during a render: changes, glides and reseeds.
#include <memory>

#include "engine/view.h"
#include "events/event_apply.h"
#include "events/event_list.h"
#include "test_support.h"

namespace {

using test_support::core_test;

int refreshes = 0;
void count_refresh() { ++refreshes; }

class event_apply_test : public core_test {
 protected:
  void SetUp() override {
    core_test::SetUp();
    refreshes = 0;
    View.set_control = count_refresh;
  }
  void TearDown() override {
    View = view_hooks{};
    core_test::TearDown();
  }
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
  EXPECT_EQ(interpolate(0.8f, 1.2f, 4, 1), 0.90000004f);
  add_event_interp(with_r1(1.2f), "glide", 100, 104);
  start_render();
  const float expected[] = {0.8f, 0.90000004f, 1.0f, 1.1f, 1.2f};
  for (int t = 100; t <= 104; ++t) {
    at(t);
    EXPECT_EQ(Current_State.r1, expected[t - 100]) << "iteration " << t;
  }
  EXPECT_EQ(Interp_Flag, 0);
  at(105);
  EXPECT_EQ(Current_State.r1, 1.2f);
  // It leaves states and instruments beyond the counts alone.
  clear_event_list();
  parameters_type target = Current_State;
  target.states.fill(90.0f);
  target.instrm.fill(90.0f);
  add_event_interp(target, "up", 0, 1);
  start_render();
  at(0);
  at(1);
  EXPECT_EQ(Current_State.states[39], 90.0f);
  EXPECT_EQ(Current_State.states[40], 0.0f);
  EXPECT_EQ(Current_State.instrm[24], 90.0f);
  EXPECT_EQ(Current_State.instrm[25], 0.0f);
  // A glide of zero or negative length jumps to its target.
  for (int end : {7, 3}) {
    clear_event_list();
    Current_State.r1 = 0.8f;
    add_event_interp(with_r1(2.0f), "jump", 7, end);
    start_render();
    at(7);
    EXPECT_EQ(Current_State.r1, 2.0f);
    EXPECT_EQ(Interp_Flag, 0);
  }
}

TEST_F(event_apply_test, EventsDueWhenAGlideEndsAreAppliedInTheSameCall) {
  add_event_interp(with_r1(1.2f), "glide", 0, 2);
  add_event_params(with_r1(3.0f), "after");
  event_number(2)->time_stamp = 1;  // due while the glide runs: must wait
  start_render();
  at(0);
  at(1);
  EXPECT_EQ(Current_State.r1, 1.0f);
  EXPECT_EQ(Next_Event, event_number(2));
  at(2);  // the glide arrives, then the waiting change applies
  EXPECT_EQ(Current_State.r1, 3.0f);
  EXPECT_EQ(Next_Event, nullptr);
}

TEST_F(event_apply_test, ChangeKeepsGridSizeStatesAndInstrumentsButTakesEverythingElse) {
  parameters_type target = with_r1(2.5f);
  target.iter = 77;
  target.Ns = 12;
  target.x = 300;
  target.noinstrm = 4;
  target.states[0] = 10.0f;
  add_event_params(target, "other");
  start_render();
  at(0);
  parameters_type expected = target;
  expected.Ns = 40;
  expected.x = 50;
  expected.noinstrm = 25;
  EXPECT_EQ(Current_State, expected);
  EXPECT_EQ(*event_number(1)->params, expected);  // the stored set takes them too
}

TEST_F(event_apply_test, DueEventsApplyInListOrderAndLaterOnesWait) {
  add_event_params(with_r1(1.0f), "a");
  add_event_params(with_r1(2.0f), "b");
  add_event_params(with_r1(3.0f), "c");
  event_number(3)->time_stamp = 5;
  start_render();
  at(0);
  EXPECT_EQ(Current_State.r1, 2.0f);
  EXPECT_EQ(refreshes, 1);  // refreshed once, at the event not yet due
  at(4);
  EXPECT_EQ(Current_State.r1, 2.0f);
  at(5);
  EXPECT_EQ(Current_State.r1, 3.0f);
  const int after_last = refreshes;
  at(6);
  EXPECT_EQ(refreshes, after_last);  // nothing left: no more refreshes
}

TEST_F(event_apply_test, ReseedDoesNotWaitForAGlideButAChangeBlocksIt) {
  add_event_interp(with_r1(1.2f), "glide", 0, 10);
  add_event_special();  // at 0: applies during the glide
  add_event_params(with_r1(5.0f), "blocked");
  add_event_special();
  start_render();
  (*grid)[1][1] = 12345;
  at(0);
  EXPECT_NE((*grid)[1][1], 12345);  // reseeded
  EXPECT_EQ(Next_Event, event_number(3));
  (*grid)[1][1] = 12345;
  at(1);
  EXPECT_EQ((*grid)[1][1], 12345);  // the reseed behind the blocked change waits
  EXPECT_EQ(Interp_Flag, 1);
}

TEST_F(event_apply_test, EndMarkersArePassedOverAndThousandsOfDueEventsDoNotExhaustTheStack) {
  add_event_special();
  event_number(1)->type = event_end;
  add_event_params(with_r1(4.0f), "x");
  start_render();
  EXPECT_EQ(test_support::stderr_of([&] { at(0); }), "Feature not yet implemented");
  EXPECT_EQ(Current_State.r1, 4.0f);
  clear_event_list();
  test_support::prepend_reseeds(300000);
  Current_State.x = Current_State.y = 1;
  start_render();
  at(0);
  EXPECT_EQ(Next_Event, nullptr);
}

}  // namespace
