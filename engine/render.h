// The render driver: the current parameter set and event list become one
// complete Csound score.
#pragma once

#include <cstdio>

// What play_ca() reports.
constexpr int render_complete = 0;
constexpr int render_abandoned = -1;     // r1 or r2 of 0 reached a step
constexpr int render_write_failed = -2;  // a write or the close failed

constexpr const char* score_header = "f1 0 8192 10 1\nf2 0 8193 7 0.0001 8192 1.0\n";

// Renders into fp and closes it, whatever happens.
int play_ca(std::FILE* fp);
