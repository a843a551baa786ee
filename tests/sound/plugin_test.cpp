// The grain voices' plugin as csound runs it: a score played by hand
// through instruments 1 to 100 sounds as the program's own render (an
// orchestra without the opcode gets csound's command as it was:
// grain_plugin_test).
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "engine/csound/offline_job.h"
#include "engine/mapping/scales.h"
#include "engine/csound/grain_plugin.h"
#include "tests/live/live_support.h"
#include "tests/sound/sound_measures.h"

namespace fs = std::filesystem;
using test_support::slurp;
using test_support::spit;
using namespace sound_measures;

namespace {

class plugin_test : public live_test {
 protected:
  // Voices at different pitches and levels, and a grain that changes.
  void set_piece(double grain) {
    for (int s = 0; s < Current_State.Ns; ++s)
      Current_State.states[s] = hertz_position(220.0 + 37.0 * s);
    Current_State.noinstrm = 16;
    for (int i = 0; i < 16; ++i) Current_State.instrm[i] = 20.0f + 5.0f * i;
    Current_State.dur = static_cast<float>(grain);
    Current_State.iter = static_cast<int>(0.5 / grain);
  }
};

double largest_difference(const stereo& a, const stereo& b) {
  double largest = 0.0;
  for (std::size_t i = 0; i < std::min(a.frames(), b.frames()); ++i)
    largest = std::max({largest, std::abs(a.left[i] - b.left[i]),
                        std::abs(a.right[i] - b.right[i])});
  return largest;
}

TEST_F(plugin_test, AScorePlayedByHandSoundsAsTheProgramsOwnRender) {
  for (const double grain : {0.025, 0.002}) {
    SCOPED_TRACE(grain);
    set_piece(grain);
    std::srand(1);  // the grid's seeding: the same piece both times
    ASSERT_EQ(make_score_file("piece.sco"), 0);
    std::srand(1);
    ASSERT_EQ(make_sound_file("program.wav"), 0);
    const file_location plugin = find_grain_plugin();
    ASSERT_TRUE(plugin.found) << plugin.path;
    // Only the instruments see the notes: csound reads the score itself.
    const std::string hand = "csound -d -m0 --opcode-lib='" + plugin.path +
                             "' -W -f -o hand.wav zelmora.orc piece.sco >hand.log 2>&1";
    ASSERT_EQ(std::system(hand.c_str()), 0) << slurp("hand.log");
    const stereo program = read_sound("program.wav");
    const stereo by_hand = read_sound("hand.wav");
    ASSERT_GT(sample_peak(program), 0.05);
    // The same samples (24-bit and float files), the ends aside: a render
    // by hand goes on a while longer.
    EXPECT_LT(largest_difference(program, by_hand), 1e-5);
    EXPECT_GE(by_hand.frames(), program.frames());
    EXPECT_LE(by_hand.frames(), program.frames() + sample_rate);
  }
}

// Live play hands its notes to the voices through the opcode's inbox: they
// sound (ALSA's file plugin keeps what csound played).
TEST_F(plugin_test, LivePlayHandsItsNotesToTheVoices) {
  const fs::path home = fs::absolute("home");
  fs::create_directory(home);
  spit(home / ".asoundrc", "pcm.!default { type file slave.pcm \"null\" file \"" +
                               (home / "played.raw").string() + "\" format \"raw\" }\n");
  const std::string live = "HOME='" + home.string() + "' " + ZELMORA_RENDER +
                           " --live --rtaudio alsa --iterations 40 --orchestra zelmora.orc"
                           " >live.log 2>&1";
  ASSERT_EQ(std::system(live.c_str()), 0) << slurp("live.log");
  const stereo played = read_sound((home / "played.raw").string(), "-t s16 -r 44100 -c 2");
  EXPECT_GT(played.frames(), static_cast<std::size_t>(sample_rate / 2));
  EXPECT_GT(sample_peak(played), 0.05);
}

}  // namespace
