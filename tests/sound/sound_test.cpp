// Sound through the real csound, each test in a fresh directory holding a
// copy of zelmora.orc, temporary files in its tmp/.
#include <cmath>
#include <numeric>
#include <tuple>

#include "engine/render/render.h"
#include "engine/mapping/scales.h"
#include "files/event_file.h"
#include "tests/live/live_support.h"
#include "tests/sound/sound_measures.h"

using test_support::files_in;
using test_support::slurp;
using namespace sound_measures;

namespace {

using strings = std::vector<std::string>;

constexpr int block = 32;  // zelmora.orc's ksmps

class sound_test : public live_test {
 protected:
  // Every state at `hz`: each block of the grid sounds that pitch.
  void hold(double hz, int voices, double position, double grain, int iterations) {
    core_test::SetUp();
    std::fill_n(Current_State.states.begin(), Current_State.Ns, hertz_position(hz));
    std::fill_n(Current_State.instrm.begin(), voices, position);
    Current_State.noinstrm = voices;
    Current_State.dur = static_cast<float>(grain);
    Current_State.iter = iterations;
  }
  // The set made into a 24-bit WAV by the windows' command.
  stereo take() {
    EXPECT_EQ(make_sound_file("take.wav"), 0);
    return read_sound("take.wav");
  }
};

// The loudest of harmonics 2 to 10 against the fundamental at `hz`, in dB.
double harmonics_db(const spectrum& sp, double hz) {
  double db = -300.0;
  for (int h = 2; h <= 10; ++h)
    db = std::max(db, decibels(sp.share(h * hz - 5, h * hz + 5) / sp.share(hz - 5, hz + 5)));
  return db;
}

// The windows' Audio File keeps csound's headerless samples for any other
// name ("" type), 16-bit interleaved stereo; the renderer's WAV for those:
// render_cli_test. Files with a header are 24-bit. Play, on the audio
// device, leaves no file.
TEST_F(sound_test, SoundFilesGetTheHeaderTheirNameAsksForAndPlayLeavesNone) {
  Current_State.iter = 40;
  EXPECT_EQ(play_on_audio_device(), 0);  // the null device, through HOME's .asoundrc
  const std::tuple<const char*, const char*, bool> cases[] = {  // name, type, by the renderer
      {"out.au; touch x", "", false}, {"out.wav", "wav", false}, {"out.au", "au", false},
      {"out.AIF", "aiff", false},     {"out.flac", "flac", false}, {"x.au", "au", true}};
  for (const auto& [name, type, renderer] : cases) {
    SCOPED_TRACE(name);
    ASSERT_EQ(renderer ? run_render("--iterations 40 --sound " + std::string(name))
                       : make_sound_file(name), 0) << err;
    const std::string header = *type ? "-t " + std::string(type) : "-t s16 -r 44100 -c 2";
    // The 40 grains, up to one more for the voices' stagger and one while the
    // last notes fade out, the delays after them and up to three control blocks.
    const auto frames = read_sound(name, header).frames();
    EXPECT_GE(frames, 41 * 0.025 * sample_rate);
    EXPECT_LE(frames, (43 * 0.025 + 0.02) * sample_rate + 3 * block);
    if (!*type) continue;
    for (const auto& [option, value] : {std::pair{"-t", type}, {"-c", "2"}, {"-b", "24"}})
      EXPECT_EQ(output_of("soxi " + std::string(option) + " " + shell_word(name)),
                value + std::string("\n"));
  }
  EXPECT_EQ(files_in("."), (strings{"out.AIF", "out.au", "out.au; touch x", "out.flac",
                                    "out.wav", "render.err", "render.out", "tmp", "x.au",
                                    orchestra_name}));
  EXPECT_EQ(files_in("tmp"), strings{});
}

// The headerless 16-bit samples are the 24-bit ones with triangular dither:
// the error has no offset and the dither's spread (half an LSB rms).
TEST_F(sound_test, SixteenBitSamplesAreDitheredNotTruncated) {
  hold(440, 9, 50, 0.025, 80);
  const stereo fine = take();
  ASSERT_EQ(make_sound_file("take.raw"), 0);
  const stereo coarse = read_sound("take.raw", "-t s16 -r 44100 -c 2");
  ASSERT_EQ(coarse.frames(), fine.frames());
  double sum = 0.0, squares = 0.0;
  for (std::size_t i = 0; i < fine.frames(); ++i) {
    const double e = (coarse.left[i] - fine.left[i]) * 32768;
    sum += e;
    squares += e * e;
  }
  const double mean = sum / fine.frames(), rms = std::sqrt(squares / fine.frames());
  EXPECT_LE(std::abs(mean), 0.05) << "LSB";
  EXPECT_TRUE(rms > 0.4 && rms < 0.6) << rms << " LSB";
}

// The figures the grain voice is built for, measured on csound's own output.
// A held pitch: every state at it. Voices in unison at positions above 100
// sum far above the limiter's ceiling; it must hold them without
// distorting, its gain too smooth to tick as it comes down at the start or
// when beating voices keep it moving (1 ms grains have edges of their own).
TEST_F(sound_test, HeldPitchesSoundAsThemselvesCleanAndWithoutDc) {
  constexpr double any = 1e9;  // no bound
  const struct {
    const char* what;
    double hz, grain, position;
    int voices, iterations;
    double near_hz, dc_dbfs_at_most, below_20_db_at_most, harmonics_db_at_most,
        above_10k_dbfs_at_most;
  } cases[] = {
      {"110 Hz", 110, 0.025, 50, 25, 80, 5, any, any, any, any},
      {"5000 Hz", 5000, 0.025, 50, 25, 80, 5, any, any, any, any},
      {"5 ms grains", 440, 0.005, 50, 25, 400, 5, -60, any, any, any},
      {"limited unison", 440, 0.025, 200, 9, 80, 5, any, any, -40, -100},
      {"limited 1 ms grains", 440, 0.001, 200, 100, 2000, 10, any, any, -40, any},
      {"limited, beating", 440, 0.025, 200, 9, 80, 15, any, any, -40, -100},
      {"calm-to-storm.cse", 0, 0.025, 0, 25, 0, 0, -60, -40, any, any},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.hz > 0) hold(c.hz, c.voices, c.position, c.grain, c.iterations);
    else core_test::SetUp();
    // Every other state 10 Hz higher: blocks beat, the limiter's gain moves.
    for (int i = 1; c.near_hz == 15 && i < Current_State.Ns; i += 2)
      Current_State.states[i] = hertz_position(c.hz + 10);
    std::srand(1);  // the grid's seeding: the same figures every run
    if (c.hz == 0) {
      const file_ptr fp = open_for_reading(example(c.what));
      ASSERT_TRUE(fp && read_event_list(fp.get()) == 1);
    }
    const stereo s = take();
    ASSERT_GT(s.frames(), 0u);
    const spectrum sp(s);
    const double mean = std::accumulate(s.left.begin(), s.left.end(), 0.0) / s.frames();
    if (c.hz > 0) {
      EXPECT_GE(sp.share(c.hz - c.near_hz, c.hz + c.near_hz), 0.99);
      EXPECT_LE(harmonics_db(sp, c.hz), c.harmonics_db_at_most);
    }
    EXPECT_LE(dbfs(std::abs(mean)), c.dc_dbfs_at_most);
    EXPECT_LE(decibels(sp.share(0, 20)), c.below_20_db_at_most);
    EXPECT_LE(loudest_above_dbfs(s, 10000), c.above_10k_dbfs_at_most) << "ticks";
    EXPECT_LE(true_peak_dbtp(s), -1) << "above the ceiling";
    EXPECT_GT(dbfs(sample_peak(s)), -30) << "barely audible";
  }
}

// The staging counts only the voices that sound: one among eight silent
// ones is as loud as one alone, whatever its column (the pan and the
// taper: voices_reference_test). Position 1 to 100 spans at least 60 dB, 120 is
// louder than 100 (files accept up to 200).
TEST_F(sound_test, VoicesAreTaperedAndStagedBySoundingVoices) {
  const auto one_voice = [this](int voices, int column, double position) {
    hold(440, voices, 0, 0.025, 40);
    Current_State.instrm[column] = position;  // the block in the top row
    return take();
  };
  const stereo alone = one_voice(1, 0, 100);  // one block, the whole grid
  EXPECT_GE(decibels(mean_square(alone) / mean_square(one_voice(1, 0, 1))), 60);
  EXPECT_GE(decibels(mean_square(one_voice(1, 0, 120)) / mean_square(alone)), 2);
  for (const int column : {0, 2})
    EXPECT_NEAR(decibels(mean_square(one_voice(9, column, 100)) / mean_square(alone)), 0, 0.5)
        << "column " << column;
}

// A file ends once everything has faded out, the high-pass's ringing too:
// the last 5 ms lie below -80 dBFS.
TEST_F(sound_test, FilesEndAfterTheLastNoteHasFaded) {
  for (const double grain : {0.001, 0.005, 0.025}) {
    SCOPED_TRACE(grain);
    hold(440, 25, 100, grain, static_cast<int>(0.3 / grain));
    const stereo s = take();
    ASSERT_GT(s.frames(), 0.3 * sample_rate);
    const auto tail = s.frames() - sample_rate * 5 / 1000;
    EXPECT_LE(dbfs(sample_peak({{s.left.begin() + tail, s.left.end()},
                                {s.right.begin() + tail, s.right.end()}})), -80);
  }
}

std::string held_set(double grain) {
  std::string text = "r1=3\nr2=3\nk=10\nNs=2\nx=30\ny=30\ndur=" + std::to_string(grain) +
                     "\nnoinstrm=9\ns0=440\ns1=440\n";
  for (int i = 0; i < 9; ++i) text += "i" + std::to_string(i) + "=500\n";
  return text + "end\n";
}

// Live play and --rate run the orchestra at 48 and 96 kHz too: a held tone
// stays at its pitch, clean, without ticks (read back at 44.1 kHz).
TEST_F(sound_test, HeldTonesStayPureAtEveryRate) {
  test_support::spit("held.csp", held_set(0.005));  // short grains: the most edges
  for (const int rate : {48000, 96000}) {
    SCOPED_TRACE(rate);
    ASSERT_EQ(run_render("--params held.csp --iterations 200 --rate " + std::to_string(rate) +
                         " --sound take.wav"),
              0) << err;
    output_of("sox take.wav -r 44100 at44.wav");
    const stereo s = read_sound("at44.wav");
    ASSERT_GT(s.frames(), 0.9 * sample_rate);
    const spectrum sp(s);
    EXPECT_GE(sp.share(435, 445), 0.99);
    EXPECT_LE(harmonics_db(sp, 440), -40);
    EXPECT_LE(loudest_above_dbfs(s, 10000), -100) << "ticks";
  }
}

// The shipped parameter sets, as the renderer plays them: even loudness
// (-18 LUFS within 1.5 LU), no overs, no flutter at the grain rate in
// either channel.
TEST_F(sound_test, PresetsAreEvenlyLoudWithoutFlutterOrOvers) {
  const std::pair<const char*, const char*> presets[] = {
      {"chimes.csp", "mode"},    {"pentatonic.csp", "mode"}, {"rain.csp", "mean"},
      {"slow-waves.csp", "mean"}, {"spirals.csp", "mean"},    {"turbulence.csp", "mean"}};
  for (const auto& [name, reduce] : presets) {
    SCOPED_TRACE(name);
    ASSERT_EQ(run_render("--params " + example(name) + " --reduce " + reduce +
                         " --iterations 300 --sound take.wav"),
              0) << err;
    const stereo s = read_sound("take.wav");
    const std::string set = slurp(example(name));
    const double grain = std::atof(set.c_str() + set.find("dur=") + 4);
    EXPECT_NEAR(integrated_lufs(s), -18, 1.5);
    EXPECT_LE(true_peak_dbtp(s), -1);
    for (const channel* c : {&s.left, &s.right})
      EXPECT_LE(modulation_at({*c, *c}, 1 / grain), 0.03);
  }
}

}  // namespace
