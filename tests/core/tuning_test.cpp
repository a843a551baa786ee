// Scala scales and keyboard mappings as published, the states a load sets,
// the nearest tone, note names and the beat grid.
#include <cmath>

#include "engine/engine.h"
#include "engine/mapping/exact_frequencies.h"
#include "engine/mapping/retune.h"
#include "engine/mapping/tuning.h"
#include "test_support.h"

namespace {

double ratio_cents(double r) { return 1200.0 * std::log2(r); }

TEST(scala, PublishedScalesParseWithTheirCommentsAndOddWhitespace) {
  const struct {
    const char* text;
    const char* description;
    std::vector<double> cents;
  } cases[] = {
      {"! 12-tet.scl\n!\n12-tone equal temperament\n 12\n!\n100.0\n200.0\n300.0\n400.0\n500.0\n"
       "600.0\n700.0\n800.0\n900.0\n1000.0\n1100.0\n2/1\n",
       "12-tone equal temperament",
       {100, 200, 300, 400, 500, 600, 700, 800, 900, 1000, 1100, 1200}},
      {"Ptolemy's intense diatonic\n7\n9/8\n5/4\n4/3\n3/2\n5/3\n15/8\n2/1\n",
       "Ptolemy's intense diatonic",
       {ratio_cents(9 / 8.0), ratio_cents(1.25), ratio_cents(4 / 3.0), ratio_cents(1.5),
        ratio_cents(5 / 3.0), ratio_cents(15 / 8.0), 1200}},
      // An empty description, CRLF, tabs, text after values, blank lines, a whole number.
      {"!x\r\n\r\n\t 3 notes\r\n! c\r\n\t100.5 the first\r\n\r\n  3/2\tfifth\r\n2 octave\r\nmore",
       "",
       {100.5, ratio_cents(1.5), 1200}},
  };
  for (const auto& c : cases) {
    scala_scale scale;
    tuning_error error;
    ASSERT_TRUE(parse_scala_scale(c.text, scale, error)) << error.line << ": " << error.what;
    EXPECT_EQ(scale.description, c.description);
    ASSERT_EQ(scale.cents.size(), c.cents.size()) << c.text;
    for (std::size_t i = 0; i < c.cents.size(); ++i) EXPECT_NEAR(scale.cents[i], c.cents[i], 1e-9);
  }
}

TEST(scala, BrokenFilesAreRefusedNamingTheirLine) {
  const struct {
    bool map;
    const char* text;
    int line;
    const char* says;
  } cases[] = {
      {false, "", 1, "ends before the description"},
      {false, "d\n", 2, "ends before the number of notes"},
      {false, "d\nmany\n", 2, "no whole number"},
      {false, "d\n0\n", 2, "at least one note"},
      {false, "d\n3\n100.0\n", 4, "ends after 1 of the 3 notes line 2 announces"},
      {false, "d\n2\n-3/2\n2/1\n", 3, "never negative"},
      {false, "d\n2\n!\n3/0\n2/1\n", 4, "0 in it"},
      {false, "d\n2\nfifth\n2/1\n", 3, "no pitch"},
      {false, "d\n2\n100.0\n-1200.0\n", 4, "period"},
      {false, "d\n1\n12000000.0\n", 3, "more than 1000000 cents"},
      {true, "-1\n", 1, "negative"},
      {true, "12\n0\n128\n", 3, "key from 0 to 127"},
      {true, "12\n60\n0\n", 3, "below the first"},
      {true, "12\n0\n127\n60\n69\n0.001\n12\n", 6, "reference frequency"},
      {true, "12\n0\n127\n60\n69\n440.0\n", 7, "ends before the formal octave"},
      {true, "12\n0\n127\n60\n61\n440.0\n12\n0\nx\n", 5, "unmapped"},
      {true, "1\n0\n127\n60\n60\n440\n1\nseven\n", 8, "no mapping entry"},
  };
  for (const auto& c : cases) {
    scala_scale scale;
    keyboard_map map;
    tuning_error error;
    EXPECT_FALSE(c.map ? parse_keyboard_map(c.text, map, error)
                       : parse_scala_scale(c.text, scale, error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text;
    EXPECT_NE(error.what.find(c.says), std::string::npos) << error.what;
  }
}

class tuning_test : public test_support::core_test {
 protected:
  float sounding(int state) { return sounding_frequency(state, Current_State.states[state]); }
};

TEST_F(tuning_test, AMappingPlacesTheStatesAndDegreesPastTheTopComeDownByPeriods) {
  keyboard_map white;  // the white keys, A4 = 440 Hz
  tuning_error error;
  ASSERT_TRUE(parse_keyboard_map("12\n0\n127\n60\n69\n440.0\n12\n0\nx\n2\nx\n4\n5\nx\n7\nx\n9\nx\n11\n",
                                 white, error));
  Current_State.Ns = 8;
  retune_report report;
  ASSERT_TRUE(retune_states(default_engine(), {std::nullopt, white}, report));
  const int semitones_from_a[] = {0, 2, 3, 5, 7, 8, 10, 12};  // A B C D E F G A
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(sounding(i), static_cast<float>(440.0 * std::exp2(semitones_from_a[i] / 12.0)));

  // 12-tone equal from middle C: degrees from 70 on pass 14764.78 Hz.
  Current_State.Ns = max_states;
  ASSERT_TRUE(retune_states(default_engine(), {equal_tempered_scale(), keyboard_map{}}, report));
  EXPECT_EQ(std::tie(report.folded_down, report.first_folded_down), std::make_tuple(30, 70));
  EXPECT_EQ(sounding(70), static_cast<float>(middle_c_hz * std::exp2(58 / 12.0)));
  EXPECT_EQ(sounding(99), static_cast<float>(middle_c_hz * std::exp2(63 / 12.0)));
  EXPECT_NE(retune_notes(report).find("30 states from state 70 passed 14764.78 Hz"),
            std::string::npos);
  // A formal octave of 2e9 degrees puts key 61 beyond any count of periods.
  keyboard_map far;
  ASSERT_TRUE(parse_keyboard_map("1\n0\n127\n60\n60\n440\n2000000000\n0\n", far, error));
  const parameters_type before = Current_State;
  EXPECT_FALSE(retune_states(default_engine(), {std::nullopt, far}, report));
  EXPECT_EQ(Current_State, before);
}

TEST_F(tuning_test, QuantizingSnapsToTheNearestToneAndNamesSayWhichAndHowFar) {
  scala_scale just_scale;
  tuning_error error;
  ASSERT_TRUE(parse_scala_scale("just\n7\n9/8\n5/4\n4/3\n3/2\n5/3\n15/8\n2/1\n", just_scale, error));
  const auto just = place_scale(just_scale, keyboard_map{});
  const struct {
    const scale_tones* tones;
    double hz;
    double tone;
    const char* name;
  } cases[] = {
      {nullptr, 440.0, 440.0, "A4 +0.0 cents"},
      {nullptr, 450.0, 440.0, "A4 +38.9 cents"},
      {nullptr, 27.0, 27.5, "A0 -31.8 cents"},
      {nullptr, 8.0, 440.0 * std::exp2(-69 / 12.0), "C-1 -37.6 cents"},
      {just.get(), middle_c_hz * 1.5, middle_c_hz * 1.5, "degree 4 +0.0 cents"},
      {just.get(), middle_c_hz * 2.5 * 1.001, middle_c_hz * 2.5, "degree 9 +1.7 cents"},
      {just.get(), middle_c_hz * 15 / 16 * 0.999, middle_c_hz * 15 / 16, "degree -1 -1.7 cents"},
  };
  tuning& t = tuning_of(default_engine());
  for (const auto& c : cases) {
    EXPECT_EQ(note_name(c.tones, c.hz), c.name);
    t.tones = c.tones ? just : nullptr;
    t.quantize = true;
    frequency_array freq{};
    freq[0] = static_cast<float>(c.hz);
    quantize_blocks(default_engine(), freq, 2);
    EXPECT_NEAR(freq[0], c.tone, c.tone * 1e-6) << c.name;
    EXPECT_EQ(freq[1], 0.0f);  // a silent note stays silent
  }
}

TEST(beat_grid, GrainsAreTheBeatDividedAndStayWithinTheSetsDurations) {
  EXPECT_DOUBLE_EQ(grain_seconds(100.0, 4), 0.15);
  EXPECT_EQ(grain_at_beat(2.5, 4), 10);
  EXPECT_EQ(grain_at_beat(2.2499, 4), 8);
  EXPECT_TRUE(beat_grid_fits(6.0, 1));  // 10 s
  EXPECT_FALSE(beat_grid_fits(5.9, 1));
}

}  // namespace
