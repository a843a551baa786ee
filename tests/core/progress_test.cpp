// The progress of a long render: csound's score time read from its messages
// however they are cut, and the score file written a slice at a time.
#include "engine/csound/offline_job.h"
#include "engine/render/progress.h"
#include "files/event_file.h"
#include "test_support.h"

namespace {

using test_support::slurp;

// Lines as csound prints them, with and without its colour codes.
const std::string csound_output =
    "SECTION 1:\nnew alloc for instr 1:\n"
    "B  0.000 ..  0.025 T  0.025 TT  0.025 M:  0.12428\n"
    "\x1b[mB  0.025 ..  0.050 T  0.050 TT  0.050 M:  0.12428\x1b[m\n"
    "B  9.975 .. 10.000 T 10.027 TT 10.027 M:  0.12427\n"
    "B 99.936 ..100.036 T100.036 TT100.036 M:  0.12665\n"
    "end of score.\t\t   overall amps:  0.12496\n";

TEST(csound_score_clock_test, ReadsTheTotalTimeOfEventLinesHoweverTheMessagesAreCut) {
  for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, csound_output.size()}) {
    csound_score_clock clock;
    std::vector<double> seen;
    for (std::size_t at = 0; at < csound_output.size(); at += piece) {
      clock.feed(std::string_view(csound_output).substr(at, piece));
      if (seen.empty() || seen.back() != clock.seconds()) seen.push_back(clock.seconds());
    }
    // Whole, the messages give only their last time.
    const std::vector<double> expected =
        piece == csound_output.size() ? std::vector<double>{100.036}
                                      : std::vector<double>{0.0, 0.025, 0.05, 10.027, 100.036};
    EXPECT_EQ(seen, expected) << piece;
  }
  // A line without its end is not read yet; one beyond any csound prints is
  // dropped whole, and the lines after it are read again.
  csound_score_clock clock;
  clock.feed("B  0.000 ..  0.025 T  0.025 TT  3.5");
  EXPECT_EQ(clock.seconds(), 0.0);
  clock.feed(std::string(5000, 'B') + "TT 99\nB  3.0 .. 4.0 T 4.0 TT  4.0 M: 1\nTT x\n");
  EXPECT_EQ(clock.seconds(), 4.0);
}

// Each stage's share and time left go by its own pace: csound's begins
// when it starts, whatever the automaton took.
TEST(job_progress_test, EachStageShowsItsShareAndTheTimeLeftAtItsOwnPace) {
  const auto start = job_progress::clock::now();
  const auto at = [&](int s) { return start + std::chrono::seconds(s); };
  job_progress progress(start);
  EXPECT_EQ(progress_text(progress, start), "Automaton 0 %, 0:00 elapsed, --:-- left");
  progress.automaton_at(300, 600);
  EXPECT_EQ(progress_text(progress, at(5)), "Automaton 50 %, 0:05 elapsed, 0:05 left");
  progress.sound_at(0.0, 300.0, at(10));
  progress.sound_at(75.0, 300.0);
  EXPECT_EQ(progress_text(progress, at(40)),
            "Sound 25 % (1:15 of 5:00), 0:40 elapsed, 1:30 left");
  EXPECT_EQ(progress_short_text(progress, at(40)), "Sound 25 %, 1:30 left");
  progress.sound_at(300.027, 300.0);  // csound's clock may run past the last note
  EXPECT_EQ(progress_text(progress, at(7200)),
            "Sound 100 % (5:00 of 5:00), 2:00:00 elapsed, 0:00 left");
}

class offline_job_test : public test_support::core_test {
 protected:
  test_support::working_dir dir{"zelmora-job-"};
};

// Sliced however finely, the job writes the score the one-go render writes.
TEST_F(offline_job_test, AScoreWrittenInSlicesIsTheScoreWrittenAtOnce) {
  test_support::temp_stream events;
  ASSERT_GE(read_event_list(test_support::stream_of(events, test_support::example_file)), 0);
  Current_State.iter = 400;
  const parameters_type before = Current_State;  // the render's events change it
  std::srand(1);                                  // and its reseed draws from rand()
  ASSERT_EQ(make_score_file("whole.sco"), 0);
  Current_State = before;
  std::srand(1);
  const auto job = offline_job::score_file("sliced.sco");
  int slices = 0;
  for (; job->running(); ++slices) job->compute(std::chrono::milliseconds(0));
  EXPECT_EQ(job->state(), offline_job::phase::done);
  EXPECT_EQ(slices, 400);  // a zero budget still computes one iteration
  EXPECT_EQ(job->progress().fraction(), 1.0);
  EXPECT_TRUE(slurp("sliced.sco") == slurp("whole.sco"));
  EXPECT_GT(slurp("whole.sco").size(), 400u * 25u * 30u);
}

}  // namespace
