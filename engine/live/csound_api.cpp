#include "engine/live/csound_api.h"

#include <dlfcn.h>

#include "engine/report.h"

namespace {

struct loaded_api {
  csound_api api;
  bool library_found = false;
  bool complete = false;
};

template <typename F>
bool find(void* library, F& f, const char* name) {
  f = reinterpret_cast<F>(dlsym(library, name));
  return f != nullptr;
}

bool find_all(void* library, csound_api& api) {
  return find(library, api.initialize, "csoundInitialize") &&
         find(library, api.create, "csoundCreate") &&
         find(library, api.destroy, "csoundDestroy") &&
         find(library, api.host_data, "csoundGetHostData") &&
         find(library, api.set_option, "csoundSetOption") &&
         find(library, api.set_message_callback, "csoundSetMessageCallback") &&
         find(library, api.load_plugins, "csoundLoadPlugins") &&
         find(library, api.compile_csd_text, "csoundCompileCsdText") &&
         find(library, api.set_host_audio, "csoundSetHostImplementedAudioIO") &&
         find(library, api.start, "csoundStart") &&
         find(library, api.compile_orc, "csoundCompileOrc") &&
         find(library, api.perform_ksmps, "csoundPerformKsmps") &&
         find(library, api.score_time, "csoundGetScoreTime") &&
         find(library, api.spout, "csoundGetSpout") && find(library, api.ksmps, "csoundGetKsmps") &&
         find(library, api.nchnls, "csoundGetNchnls") && find(library, api.sr, "csoundGetSr") &&
         find(library, api.full_scale, "csoundGet0dBFS") &&
         find(library, api.input_message, "csoundInputMessage") &&
         find(library, api.score_event, "csoundScoreEventAbsolute") &&
         find(library, api.set_channel, "csoundSetControlChannel") &&
         find(library, api.cleanup, "csoundCleanup") &&
         find(library, api.get_module, "csoundGetModule") &&
         find(library, api.create_global, "csoundCreateGlobalVariable") &&
         find(library, api.query_global, "csoundQueryGlobalVariable");
}

loaded_api load() {
  loaded_api loaded;
  void* library = dlopen(csound_library, RTLD_NOW | RTLD_LOCAL);
  loaded.library_found = library != nullptr;
  if (!library) return loaded;
  loaded.complete = find_all(library, loaded.api);
  if (!loaded.complete) {
    dlclose(library);
    return loaded;
  }
  // csound must leave Ctrl-C and the process's exit to the program.
  loaded.api.initialize(CSOUNDINIT_NO_SIGNAL_HANDLER | CSOUNDINIT_NO_ATEXIT);
  return loaded;
}

}  // namespace

const csound_api* live_csound_api() {
  static const loaded_api loaded = load();
  if (loaded.complete) return &loaded.api;
  if (!loaded.library_found)
    report_error("Live play needs csound's library %s, which could not be loaded\n",
                 csound_library);
  else
    report_error("csound's library %s lacks a function live play needs\n", csound_library);
  return nullptr;
}
