// csound's API, found at run time so that the program runs (and says why
// live play is missing) on a system without it. The library is loaded once
// for the whole process and its table never changes after: any thread of
// any live play may use it.
#pragma once

#include <csound/csound.h>

constexpr const char* csound_library = "libcsound64.so.6.0";

struct csound_api {
  decltype(&csoundInitialize) initialize = nullptr;
  decltype(&csoundCreate) create = nullptr;
  decltype(&csoundDestroy) destroy = nullptr;
  decltype(&csoundGetHostData) host_data = nullptr;
  decltype(&csoundSetOption) set_option = nullptr;
  decltype(&csoundSetMessageCallback) set_message_callback = nullptr;
  decltype(&csoundLoadPlugins) load_plugins = nullptr;
  decltype(&csoundCompileCsdText) compile_csd_text = nullptr;
  decltype(&csoundSetHostImplementedAudioIO) set_host_audio = nullptr;
  decltype(&csoundStart) start = nullptr;
  decltype(&csoundCompileOrc) compile_orc = nullptr;
  decltype(&csoundPerformKsmps) perform_ksmps = nullptr;
  decltype(&csoundGetScoreTime) score_time = nullptr;
  decltype(&csoundGetSpout) spout = nullptr;
  decltype(&csoundGetKsmps) ksmps = nullptr;
  decltype(&csoundGetNchnls) nchnls = nullptr;
  decltype(&csoundGetSr) sr = nullptr;
  decltype(&csoundGet0dBFS) full_scale = nullptr;
  decltype(&csoundInputMessage) input_message = nullptr;
  decltype(&csoundScoreEventAbsolute) score_event = nullptr;
  decltype(&csoundSetControlChannel) set_channel = nullptr;
  decltype(&csoundCleanup) cleanup = nullptr;
  decltype(&csoundGetModule) get_module = nullptr;
  decltype(&csoundCreateGlobalVariable) create_global = nullptr;
  decltype(&csoundQueryGlobalVariable) query_global = nullptr;
};

// The table, the library loaded on the first call; null (reported on every
// call) when the library or one of its functions is missing.
const csound_api* live_csound_api();
