// Start times across duration changes, and the notes the sinks get. The
// equivalence tests compare everything else; the default score is
// render_cli_test's, an abandoned render csound_test's.
#include "engine/render.h"
#include "test_support.h"

namespace {

using test_support::lines_of;

using play_ca_test = test_support::core_test;

TEST_F(play_ca_test, StartTimesContinueWhereTheLastDurationLeftOff) {
  // An event at 0 governs the first notes; longer from iteration 3, shorter
  // from 5: no gap, no overlap.
  Current_State.noinstrm = 1;
  parameters_type p = Current_State;
  p.instrm[0] = 100.0f;
  for (const auto& [at, dur] : {std::pair{0, 0.025f}, std::pair{3, 0.08f}, std::pair{5, 0.01f}}) {
    p.dur = dur;
    add_event_params(p, "event");
    set_event_time(List_Size, at);
  }
  Current_State.iter = 7;
  const test_support::temp_dir dir{"zelmora-render-"};
  ASSERT_EQ(play_ca(std::fopen((dir.path / "score").c_str(), "w")), render_complete);  // closes it
  const auto lines = lines_of(test_support::slurp(dir.path / "score"));
  std::vector<std::string> timing(lines.begin() + 2, lines.end());
  for (std::string& line : timing) line.resize(32);
  EXPECT_EQ(timing, (std::vector<std::string>{
                        "i1 0.000000 0.025000 1000.000000", "i1 0.025000 0.025000 1000.000000",
                        "i1 0.050000 0.025000 1000.000000", "i1 0.075000 0.080000 1000.000000",
                        "i1 0.155000 0.080000 1000.000000", "i1 0.235000 0.010000 1000.000000",
                        "i1 0.245000 0.010000 1000.000000"}));
}

// Prints what it gets with printf's own formatting.
class note_printer final : public iteration_sink {
 public:
  std::string text;
  int iterations = 0;

  void on_iteration(const iteration& it) override {
    ++iterations;
    for (const note& n : it.notes) {
      std::array<char, 256> line;
      std::snprintf(line.data(), line.size(), "i%d %f %f %f %f\n", n.instrument, n.start,
                    n.duration, n.amplitude, n.frequency);
      text += line.data();
    }
  }
};

TEST_F(play_ca_test, SinksGetTheNumbersOfTheScoreLinesOnceEachUntilRemoved) {
  Current_State.iter = 30;
  Mean_Mode = 1;
  note_printer printer, removed;
  add_iteration_sink(printer);
  add_iteration_sink(printer);
  add_iteration_sink(removed);
  remove_iteration_sink(removed);
  const test_support::temp_dir dir{"zelmora-render-"};
  ASSERT_EQ(play_ca(std::fopen((dir.path / "score").c_str(), "w")), render_complete);  // closes it
  remove_iteration_sink(printer);
  EXPECT_EQ(score_header + printer.text, test_support::slurp(dir.path / "score"));
  EXPECT_EQ(printer.iterations, 30);
  EXPECT_EQ(removed.iterations, 0);
}

}  // namespace
