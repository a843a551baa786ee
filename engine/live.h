// Live play: the render paced by csound's own clock, each iteration's notes
// handed to csound in this process as they are made, played on the audio
// device. The engine stays on the caller's thread, which calls live_feed()
// often (a timer); only csound's performance runs on a thread of its own.
// Iteration t sounds at the offline score's start time of t, counted from
// the moment play began.
#pragma once

#include <cstdio>
#include <string>

#include "engine/csound.h"

// How far ahead of csound's clock notes are computed and sent.
constexpr double live_look_ahead = 0.1;

struct live_settings {
  std::string orchestra;        // empty: the one find_orchestra() finds
  std::string rtaudio;         // csound's -+rtaudio module; empty: its default
  std::FILE* score = nullptr;  // also gets the score of exactly the notes sent
};

// Loads csound's library, compiles the orchestra, opens the audio output and
// starts a render. 0 on success; -1 (reported) with nothing left running.
int live_start(const live_settings& settings);

// Computes and sends every iteration due within the look-ahead. True while
// playing; false once the render is over and its last notes have sounded
// (csound is then stopped) or play was never started.
bool live_feed();

// Fades the sound out and ends csound, within the look-ahead; nothing is
// left running. Harmless when nothing plays.
void live_stop();

bool live_playing();
int live_late_iterations();  // iterations computed after their start time
int live_status();           // a render_* status of the render played last
double live_clock();         // seconds of play so far
