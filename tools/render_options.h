// zelmora-render's command line: what it asks for, and the usage it
// answers a wrong one with.
#pragma once

#include <string>

#include "control/outside_control.h"
#include "engine/csound/orchestra.h"
#include "engine/live/live.h"
#include "tools/tuning_options.h"

constexpr int exit_ok = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

struct options {
  std::string params;
  std::string events;
  std::string score;
  std::string sound;
  std::string orchestra = orchestra_path();
  std::string frames;
  std::string rtaudio = live_rtaudio_from_environment();
  outside_control_settings control{"", "", "", "zelmora-render", false};
  int every = 1;
  int rate = 0;  // 0: the orchestra's
  bool live = false;
  bool connect = true;
  int iterations = 600;
  int mean_mode = 0;
  bool verbose = false;
  bool quiet = false;
  tuning_options tuning;
  live_sync sync = live_sync::none;
};

// Fills `opt` from the arguments; -1 to go on, else the exit status (usage
// and version said).
int parse_arguments(int argc, char** argv, options& opt);
