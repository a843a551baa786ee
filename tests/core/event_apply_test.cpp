// Applying events during a render: changes, glides and reseeds.
#include <memory>
#include <vector>

#include "events/event_apply.h"
#include "events/event_list.h"
#include "test_support.h"

namespace {

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
    Current_State.r1 = 0.8f;
    add_event_interp(with_r1(2.0f), "jump", 7, end);
    start_render();
    at(7);
    EXPECT_EQ(Current_State.r1, 2.0f);
    EXPECT_EQ(Interp_Flag, 0);
  }
}

TEST_F(event_apply_test, ChangeWaitsForAGlideAndKeepsGridSizeAndCounts) {
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
