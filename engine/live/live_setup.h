// csound made ready for a live play: the orchestra compiled from text (so
// that csound reads no .csound6rc, here or in $HOME), zelmora's plugin
// loaded from a private directory, and an instrument that fades the sound
// out on Stop. The samples go either to csound's own audio module or to a
// host that takes them a control period at a time (zelmora's JACK client).
#pragma once

#include <string>

#include "engine/live/live.h"
#include "engine/live/live_session.h"

// Where csound's samples go.
struct live_output {
  std::string module;   // csound's audio module ("alsa", "pulse", ...); empty: the host's
  double host_rate = 0;  // the host's sample rate
};

enum class live_setup { ready, no_device, refused };

// Creates the session's csound and sets it up to play. Otherwise no csound
// is left and `why` says what went wrong: for a device, in a few words
// (csound's last line); for anything else (the orchestra, the plugin), a
// line with csound's last words after it on lines of their own.
live_setup set_up_csound(live_session& s, const live_settings& settings,
                         const live_output& output, std::string& why);

// The audio modules this csound has, "jack" among them (empty when its
// library is missing).
std::vector<std::string> csound_audio_modules();
