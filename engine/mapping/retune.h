// Setting the states from a scale. State i takes the i-th mapped key
// counted up from the mapping's reference note (skipping unmapped keys and
// keys below the first note, stopping after the last): without a mapping,
// degree i above degree 0 at 261.625565 Hz. Each state is stored by value,
// as a typed frequency is (exact_frequencies.h), so it plays exactly. A
// degree beyond the states' frequencies is brought back inside by whole
// periods, and the report says so.
#pragma once

#include <string>

#include "engine/mapping/scala.h"

struct engine;

struct retune_report {
  int states = 0;            // states set
  int folded_down = 0;       // of them, brought down by periods
  int first_folded_down = -1;
  int folded_up = 0;         // brought up (a degree below the reference)
  int first_folded_up = -1;
  int first_unreached = -1;  // the first state no key reached; -1: none
  int last_note = 0;         // where the keys ran out
  std::string refused;       // why nothing changed; empty when done
};

// Takes `source` into e's tuning (a scale, a mapping, or both; what it
// lacks stays as loaded before, at first 12-tone equal temperament and the
// default mapping) and sets e's states in use. Refused, nothing changes.
bool retune_states(engine& e, const tuning_source& source, retune_report& report);

// What a load did beyond the plain case, in a sentence or two ("" when
// every state found its key without folding).
std::string retune_notes(const retune_report& report);
