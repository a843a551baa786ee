// The notes the sinks get, and a second engine beside the default one, also
// on a thread of its own. The equivalence tests compare the scores (start
// times across changes of duration among them); the default score is
// render_cli_test's, an abandoned render csound_test's.
#include <cstdlib>
#include <thread>

#include "engine/engine.h"
#include "engine/render/render.h"
#include "test_support.h"

namespace {

using play_ca_test = test_support::core_test;

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
  const sink_registration again(printer);
  add_iteration_sink(removed);
  remove_iteration_sink(removed);
  const test_support::temp_dir dir{"zelmora-render-"};
  ASSERT_EQ(play_ca(std::fopen((dir.path / "score").c_str(), "w")), render_complete);  // closes it
  EXPECT_EQ(score_header + printer.text, test_support::slurp(dir.path / "score"));
  EXPECT_EQ(printer.iterations, 30);
  EXPECT_EQ(removed.iterations, 0);
}

// A change of rule at iteration 5.
std::unique_ptr<event_type> one_change(const parameters_type& from) {
  auto change = std::make_unique<event_type>();
  change->type = event_change;
  change->time_stamp = 5;
  change->params = std::make_unique<parameters_type>(from);
  change->params->r1 = 3.0f;
  change->params->k = 7.0f;
  return change;
}

TEST_F(play_ca_test, ASecondEngineRendersAsTheDefaultOneWouldAndLeavesItAlone) {
  engine second;
  second.state = Current_State;
  second.state.iter = 20;
  second.mean_mode = 1;
  second.events = one_change(second.state);
  note_printer seen_by_default, seen_by_second;
  const sink_registration watching(seen_by_default);
  add_iteration_sink(second, seen_by_second);
  const parameters_type untouched = Current_State;
  const auto grid_before = std::make_unique<grid_type>(grid1);
  const test_support::temp_dir dir{"zelmora-render-"};
  second.seed(3);  // a generator of its own, seeded as srand() seeds rand()
  std::srand(4);
  ASSERT_EQ(play_ca(second, std::fopen((dir.path / "second").c_str(), "w")), render_complete);
  EXPECT_EQ(Current_State, untouched);
  EXPECT_EQ(Next_Event, nullptr);
  EXPECT_TRUE(grid1 == *grid_before);
  EXPECT_EQ(seen_by_default.iterations, 0);
  EXPECT_EQ(seen_by_second.iterations, 20);
  EXPECT_EQ(second.state.k, 7.0f);

  Current_State = untouched;
  Current_State.iter = 20;
  Mean_Mode = 1;
  Event_List = one_change(Current_State);
  std::srand(3);
  ASSERT_EQ(play_ca(std::fopen((dir.path / "default").c_str(), "w")), render_complete);
  EXPECT_EQ(test_support::slurp(dir.path / "default"), test_support::slurp(dir.path / "second"));
  EXPECT_EQ(seen_by_default.text, seen_by_second.text);
}

}  // namespace

// The score `e` writes from `seed`.
std::string score_of(engine& e, unsigned seed) {
  char* text = nullptr;
  std::size_t size = 0;
  e.seed(seed);
  EXPECT_EQ(play_ca(e, ::open_memstream(&text, &size)), render_complete);
  std::string score(text, size);
  std::free(text);
  return score;
}

// Two engines rendering at once on two threads, sharing the row pool: the
// default one on bytes by the mean, the other by the mode and, from
// iteration 40 on (k below 0), cell by cell. Each writes its solo score.
TEST_F(play_ca_test, TwoEnginesOnTwoThreadsWriteTheirSoloScores) {
  Current_State.x = Current_State.y = 300;
  Current_State.iter = 50;
  for (int s = 0; s < max_states; ++s) Current_State.states[s] = 20.0f + s;  // each its own pitch
  engine second;
  second.state = Current_State;
  second.state.x = 320;
  second.state.y = 310;
  second.mean_mode = 1;
  second.events = one_change(second.state);
  second.events->time_stamp = 40;
  second.events->params->k = -1.5f;
  for (const bool portable : {false, true}) {
    force_portable_kernels(portable);
    const parameters_type first_set = second.state;  // its events change it
    const std::array solo{score_of(default_engine(), 5), score_of(second, 6)};
    second.state = first_set;
    std::array<std::string, 2> together;
    std::thread other([&] { together[1] = score_of(second, 6); });
    together[0] = score_of(default_engine(), 5);
    other.join();
    EXPECT_EQ(together, solo) << (portable ? "portable" : "avx2");
  }
  force_portable_kernels(false);
}
