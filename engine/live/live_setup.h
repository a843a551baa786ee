// csound made ready for a live play: the orchestra read and compiled the
// way csound's own command line does it, the audio output open at the
// device's rate, and an instrument that fades the sound out on Stop.
#pragma once

#include "engine/live/live.h"
#include "engine/live/live_session.h"

// Creates the session's csound and sets it up to play. False (reported,
// with csound's last words) with no csound left.
bool set_up_csound(live_session& s, const live_settings& settings);
