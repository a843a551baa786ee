// Whole renders: the score's shape, the iteration count and abandonment.
#include <string>
#include <vector>

#include "engine/render.h"
#include "engine/view.h"
#include "events/event_list.h"
#include "test_support.h"

namespace {

using test_support::core_test;
using test_support::lines_of;

std::vector<int> shown;
void record_iteration(int t) { shown.push_back(t); }

class play_ca_test : public core_test {
 protected:
  void TearDown() override {
    View = view_hooks{};
    core_test::TearDown();
  }
  // play_ca closes the stream, so the score goes through a named file.
  std::string render(int* status = nullptr) {
    const int result = play_ca(std::fopen((dir.path / "score").c_str(), "w"));
    if (status) *status = result;
    return test_support::slurp(dir.path / "score");
  }
  test_support::temp_dir dir{"zelmora-render-"};
};

TEST_F(play_ca_test, DefaultsGiveAHeaderAnd600IterationsOf25Notes) {
  const auto lines = lines_of(render());
  ASSERT_EQ(lines.size(), 15002u);
  EXPECT_EQ(lines[0], "f1 0 8192 10 1");
  EXPECT_EQ(lines[1], "f2 0 8193 7 0.0001 8192 1.0");
  EXPECT_EQ(lines[2], "i1 0.000000 0.025000 500.000000 121.510475");
  EXPECT_EQ(lines[2 + 24].substr(0, 13), "i25 0.000000 ");
  EXPECT_EQ(lines[2 + 25].substr(0, 12), "i1 0.025000 ");
  EXPECT_EQ(lines.back().substr(0, 14), "i25 14.975000 ");
  EXPECT_EQ(Current_Iteration, 599);
}

TEST_F(play_ca_test, IterationCountIsReadOnceAndCounterShowsEachIteration) {
  shown.clear();
  View.show_iteration = record_iteration;
  Current_State.iter = 5;
  const auto lines = lines_of(render());
  ASSERT_EQ(lines.size(), 2u + 5 * 25);
  EXPECT_EQ(lines.back().substr(0, 13), "i25 0.100000 ");
  EXPECT_EQ(shown, (std::vector<int>{0, 1, 2, 3, 4}));

  Current_State.iter = 0;
  EXPECT_EQ(render(), score_header);
  Current_State.iter = -3;
  EXPECT_EQ(render(), score_header);
  // A change of iter during a render does not change its length.
  parameters_type longer = Current_State;
  longer.iter = 1000;
  add_event_params(longer, "longer");
  Current_State.iter = 3;
  EXPECT_EQ(lines_of(render()).size(), 2u + 3 * 25);
  EXPECT_EQ(Current_State.iter, 1000);
}

TEST_F(play_ca_test, EventDueAtZeroGovernsTheFirstNotes) {
  parameters_type loud = Current_State;
  loud.instrm.fill(100.0f);
  loud.dur = 0.05f;
  add_event_params(loud, "loud");
  Current_State.iter = 2;
  const auto lines = lines_of(render());
  EXPECT_EQ(lines[2].substr(0, 32), "i1 0.000000 0.050000 1000.000000");
  EXPECT_EQ(lines[27].substr(0, 12), "i1 0.050000 ");
}

TEST_F(play_ca_test, EachRenderReseedsSoTwoRendersDiffer) {
  Current_State.iter = 40;
  for (int s = 0; s < 40; ++s) Current_State.states[s] = static_cast<float>(s * 2);
  EXPECT_NE(render(), render());
}

TEST_F(play_ca_test, NotesBeyondTheComputedBlocksAreSilent) {
  Current_State.noinstrm = 30;  // 5 x 5 blocks, 30 notes
  for (int i = 0; i < 30; ++i) Current_State.instrm[i] = 50.0f;
  Current_State.iter = 1;
  const auto lines = lines_of(render());
  ASSERT_EQ(lines.size(), 2u + 30);
  EXPECT_EQ(lines[2 + 24], "i25 0.000000 0.025000 500.000000 121.510475");
  EXPECT_EQ(lines[2 + 25], "i26 0.000000 0.025000 500.000000 0.000000");
  EXPECT_EQ(lines[2 + 29], "i30 0.000000 0.025000 500.000000 0.000000");
}

TEST_F(play_ca_test, ZeroDivisorAbandonsTheRenderWithoutEndingTheProcess) {
  parameters_type broken = Current_State;
  broken.r1 = 0.0f;
  add_event_params(broken, "broken");
  event_number(1)->time_stamp = 2;
  int status = 0;
  std::vector<std::string> lines;
  EXPECT_EQ(test_support::stderr_of([&] { lines = lines_of(render(&status)); }),
            "bad parameters to update");
  EXPECT_EQ(status, render_abandoned);
  EXPECT_EQ(lines.size(), 2u + 3 * 25);  // iteration 2's notes, then no step
}

TEST_F(play_ca_test, WriteFailureIsReported) {
  Current_State.iter = 50;
  EXPECT_EQ(play_ca(std::fopen("/dev/full", "w")), render_write_failed);
}

}  // namespace
