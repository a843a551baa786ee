// Whole renders: the score's exact lines, start times across duration
// changes and abandonment. The equivalence tests compare everything else.
#include "engine/render.h"
#include "events/event_list.h"
#include "test_support.h"

namespace {

using test_support::lines_of;

class play_ca_test : public test_support::core_test {
 protected:
  // play_ca closes the stream, so the score goes through a named file.
  std::string render(int* status = nullptr) {
    const int result = play_ca(std::fopen((dir.path / "score").c_str(), "w"));
    if (status) *status = result;
    return test_support::slurp(dir.path / "score");
  }
  void add_event_at(int at, const parameters_type& p) {
    add_event_params(p, "event");
    set_event_time(++events_, at);
  }
  int events_ = 0;
  test_support::temp_dir dir{"zelmora-render-"};
};

TEST_F(play_ca_test, DefaultsGiveAHeaderAnd600IterationsOf25Notes) {
  const auto lines = lines_of(render());
  ASSERT_EQ(lines.size(), 15002u);
  EXPECT_EQ(lines[0], "f1 0 8192 10 1");
  EXPECT_EQ(lines[1], "f2 0 8193 7 0.0001 8192 1.0");
  EXPECT_EQ(lines[2], "i1 0.000000 0.025000 500.000000 121.510475");
  EXPECT_EQ(lines.back().substr(0, 14), "i25 14.975000 ");
  Current_State.iter = 0;
  EXPECT_EQ(render(), score_header);
}

TEST_F(play_ca_test, StartTimesContinueWhereTheLastDurationLeftOff) {
  // An event at 0 governs the first notes; longer from iteration 3, shorter
  // from 5: no gap, no overlap.
  Current_State.noinstrm = 1;
  parameters_type p = Current_State;
  p.instrm[0] = 100.0f;
  for (const auto& [at, dur] : {std::pair{0, 0.025f}, std::pair{3, 0.08f}, std::pair{5, 0.01f}}) {
    p.dur = dur;
    add_event_at(at, p);
  }
  Current_State.iter = 7;
  const auto lines = lines_of(render());
  std::vector<std::string> timing(lines.begin() + 2, lines.end());
  for (std::string& line : timing) line.resize(32);
  EXPECT_EQ(timing, (std::vector<std::string>{
                        "i1 0.000000 0.025000 1000.000000", "i1 0.025000 0.025000 1000.000000",
                        "i1 0.050000 0.025000 1000.000000", "i1 0.075000 0.080000 1000.000000",
                        "i1 0.155000 0.080000 1000.000000", "i1 0.235000 0.010000 1000.000000",
                        "i1 0.245000 0.010000 1000.000000"}));
}

TEST_F(play_ca_test, ZeroDivisorAbandonsTheRenderWithoutEndingTheProcess) {
  parameters_type broken = Current_State;
  broken.r1 = 0.0f;
  add_event_at(2, broken);
  int status = 0;
  std::string score;
  EXPECT_EQ(test_support::stderr_of([&] { score = render(&status); }), "bad parameters to update");
  EXPECT_EQ(status, render_abandoned);
  EXPECT_EQ(lines_of(score).size(), 2u + 3 * 25);  // iteration 2's notes, then no step
}

}  // namespace
