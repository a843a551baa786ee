// csound's command lines, kept as words from where they are made to exec:
// no shell reads them, so no name is split, expanded or taken for an
// option. text() is only for showing one.
#pragma once

#include <string>
#include <vector>

#include "engine/csound/orchestra.h"

struct csound_command {
  std::vector<std::string> options;  // after "csound"
  std::vector<std::string> files;    // what it reads: orchestra and score, or one .csd

  // "csound", the options, the files.
  std::vector<std::string> words() const;
  // The words as the shell would need them typed.
  std::string text() const;
};

// The option that loads a plugin library of opcodes.
std::string opcode_lib_option(const std::string& plugin);

// csound writing `output` from `orchestra` and `score` with `options`
// before "-o". csound runs in a private directory of its own, so every
// name is given from the root.
csound_command output_command(std::vector<std::string> options, const std::string& output,
                              const std::string& orchestra, const std::string& score);

// The windows' Audio Output: the score `score` played on the audio device.
csound_command play_command(const std::string& score);

// The windows' Audio File: the sound file `name` from the score `score`.
// A name without a known extension keeps the headerless 16-bit samples.
csound_command sound_file_command(const std::string& name,
                                  const std::string& score = temp_score_name);

// `word` as the shell should see it: unchanged when it is made only of
// safe characters, otherwise single-quoted.
std::string shell_word(const std::string& word);

// A name as csound must see it to take it for a file, from its own working
// directory: from the root, never an option ("-o/take.wav") or a device
// ("dac").
std::string as_file_name(const std::string& path);
