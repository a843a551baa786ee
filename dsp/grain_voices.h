#pragma once

// The grain voices of zelmora's orchestra, computed in C++ so that a note
// costs a few arithmetic operations instead of a csound instrument instance
// (short grains bring 100 000 notes a second). csound runs them through the
// plugin's opcodes (plugin/); the Master (dsp/master.h) does gain staging,
// filtering and limiting on what they put out.
//
// The voices take the notes of a score, each instrument a chain of sin^2
// windows that cross-fade with a steady phase, staggered behind the score,
// panned equal-power by the block's column, under the amplitude taper. The
// grain design (dsp/grain_design.h) changes the wave, the window (separate
// grains, `overlap` of a voice at once), adds random variation and narrows
// the stereo field. No csound or X header here.
//
// Everything is timed by the sample, from the score's times; what csound
// decides once a control period (the onset a note belongs to, the voice
// count) follows csound's control periods. One difference: csound ends an
// instrument instance at the control period nearest p2 + p3, which could
// cut the last few samples of a fall four times as long as its rise; here
// every fall plays out. And as csound fixed a note's length when it
// started, the orchestra broke a chain (a dip or a bump in a held tone)
// where the grain grew over twice or shrank over four times at once; here
// the previous note falls as long as the next one needs, and the chain
// holds (unless it would run over 256 grains behind the score, after the
// grain shrinks over 256 times within a long grain).
//
// Nothing is allocated once constructed: the grains live in a pool sized
// for every instrument's longest chain, and a grain beyond it is refused
// (counted).

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dsp/grain_design.h"
#include "dsp/note.h"
#include "dsp/wave_tables.h"

class grain_voices {
 public:
  // `control_period` is csound's ksmps: a score note starts at the control
  // period nearest its time, and the voices keep that timing.
  grain_voices(double sample_rate, int control_period);

  // How the notes added from now on sound.
  void set_design(const grain_design& design) { design_ = design; }
  const grain_design& design() const { return design_; }
  // The score's table 1 (csound's), which wave=table reads.
  void set_score_table(const double* points, std::size_t count) { table1_.take(points, count); }

  // Notes come in non-decreasing start order, each before render() has
  // reached its start time; every note added and not yet played out is
  // held, so add them shortly ahead. Instruments outside 1..100 and
  // fields that are not finite numbers are ignored.
  void add(const note& n);

  // Adds the next `frames` samples of every voice to `left` and `right`
  // (not cleared first) and moves time on by as much.
  void render(double* left, double* right, std::size_t frames);

  // The number of sounding voices of the latest onset that has begun (at
  // least 1). An onset begins with the control period it starts in; after
  // render() of a period, the count is the one for that period.
  int voices() const;

  // How many voices sound at the end of the last render(), each counted by
  // its windows (at most 1 a voice): what the Master's gain staging
  // divides by, which falls with the grains as they fade.
  double sounding() const { return sounding_; }

  // The time (seconds) until which the render must go on for the last
  // note added so far to play out, delays after it included.
  double keep_until() const;

  // The time (seconds) of the next sample render() produces.
  double now() const;

  // Grains refused because the pool was full.
  long refused() const { return refused_; }

  // Instrument i's chain runs this share of a grain behind the score.
  static double stagger_of(int instrument);

 private:
  // One sounding grain: its window (rise from `start` to `fall_at`, then a
  // fall of `fall` seconds, decided when the next note of its chain is
  // known; or, separate, one shape over its whole length), its wave and its
  // place in the stereo field. The wave and the window run as phasors
  // rotated once a sample from exact values taken where they start, or as
  // tables read with linear interpolation.
  struct grain {
    int instrument = 0;
    double start = 0, rise = 0, fall_at = 0, fall = -1;
    std::int64_t first_sample = 0;  // the window's first sample
    std::int64_t fall_sample = 0;   // its first falling one
    std::int64_t end_sample = 0;    // past its last (known once `fall` is)
    std::int64_t onset_sample = 0;  // the control period the note starts in
    std::int64_t score_sample = 0;  // a sample before its score time
    double freq = 0, cycle = 0, amp = 0;
    double left = 0, right = 0;
    double width = 1, pan_offset = 0;
    double weight = 1;  // what its window counts for in sounding()
    bool panned = false;
    // An equal-power cross-fade (a jump of pitch) instead of sin^2.
    bool power_rise = false, power_fall = false;
    const wave_table* wave = nullptr;   // nullptr: the exact sine
    const wave_table* shape = nullptr;  // a separate grain's window
    std::int64_t next_sample = -1;  // where the phasors stand
    int line = 0;                   // the window's: 0 none, 1 rise, 2 fall
    double wave_re = 0, wave_im = 0, wave_step_re = 0, wave_step_im = 0;
    double win_re = 0, win_im = 0, win_step_re = 0, win_step_im = 0;
    double rise_step_re = 0, rise_step_im = 0;
    double phase = 0;               // a table wave's, in cycles
    double win_pos = 0, win_step = 0;  // a table window's
  };

  // Instrument i's chain so far, as the orchestra keeps it.
  struct chain {
    double anchor = 0, phase = 0, freq = 0;
    double last_start = 0, last_at = 0, last_len = 0;
    long latest = -1;  // grains_ index of its latest note, if that one sounds
  };

  // An onset (the notes of one score time): the control period it starts
  // in and how many of its notes sound.
  struct onset {
    std::int64_t sample = 0;
    int sounding = 0;
  };

  // A note's random variation (all 0 without jitter).
  struct variation {
    double onset = 0, pitch = 1, level = 1, pan = 0;
  };

  std::int64_t onset_sample_of(double time) const;
  std::int64_t sample_after(double time) const;
  void begin_onset(double start);
  onset& latest_onset();
  variation vary(const note& n, int grain_number) const;
  const wave_table* wave_for(double hz) const;
  bool take(const grain& g);
  void add_chained(const note& n, double grain_len, double amp);
  void add_separate(const note& n, double grain_len, double amp);
  double next_phase(chain& c, int instrument, double hz, double anchor) const;
  void pan(grain& g, int top);
  void render_grain(grain& g, double* left, double* right, std::int64_t from, std::int64_t to);
  void start_line(grain& g, int line, std::int64_t from) const;
  void render_line(grain& g, int line, double* left, double* right, std::int64_t base,
                   std::int64_t from, std::int64_t to) const;
  void render_samples(grain& g, int line, bool table_window, double* l, double* r,
                      std::int64_t count) const;
  double window_at(const grain& g, double t) const;
  double window_now(const grain& g) const;
  void count_sounding();
  void drop_finished();

  double rate_;
  int period_;
  double late_;  // a control period, in seconds
  double tail_;
  bool avx2_;  // the vector unit's width to render with
  grain_design design_;
  score_table table1_;
  const band_limited_waves& waves_;
  const grain_shapes& shapes_;
  std::int64_t now_ = 0;
  std::array<chain, 101> chains_{};
  std::vector<grain> grains_;  // a pool: reserved once, never grown
  long refused_ = 0;
  int since_drop_ = 0;
  static constexpr std::size_t onset_ring = 64;
  std::array<onset, onset_ring> onsets_{};
  std::size_t onset_first_ = 0, onset_count_ = 0;
  bool any_onset_ = false;
  double onset_start_ = 0;
  std::int64_t group_sample_ = 0;  // the control period of the latest onset
  int group_top_ = 0;              // its highest instrument
  double keep_until_ = 0;
  double sounding_ = 0;
  std::array<double, 101> weights_{};
  // Left and right gains by instrument for the grid of `pan_top_`.
  std::array<std::array<double, 2>, 101> pan_gains_{};
  int pan_top_ = -1;
  double pan_width_ = -1;
};
