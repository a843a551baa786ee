// The LV2 entry points: the descriptor, and the worker and state
// interfaces, each a thin call into the instance (instrument.h).
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <cstring>
#include <memory>

#include "lv2/instrument.h"
#include "lv2/uris.h"

namespace {

instrument& of(LV2_Handle handle) { return *static_cast<instrument*>(handle); }

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
  return instrument::make(rate, features).release();
}

void connect_port(LV2_Handle handle, std::uint32_t port, void* data) {
  of(handle).connect(port, data);
}

void activate(LV2_Handle handle) { of(handle).activate(); }

void run(LV2_Handle handle, std::uint32_t frames) { of(handle).run(frames); }

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle handle) { std::unique_ptr<instrument> gone(&of(handle)); }

LV2_Worker_Status work(LV2_Handle handle, LV2_Worker_Respond_Function, LV2_Worker_Respond_Handle,
                       std::uint32_t size, const void* data) {
  return of(handle).work(size, data);
}

// The worker never responds: its notes reach run() through the rings.
LV2_Worker_Status work_response(LV2_Handle, std::uint32_t, const void*) {
  return LV2_WORKER_SUCCESS;
}

LV2_State_Status save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state,
                      std::uint32_t, const LV2_Feature* const*) {
  return of(handle).save(store, state);
}

LV2_State_Status restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle state, std::uint32_t, const LV2_Feature* const*) {
  return of(handle).restore(retrieve, state);
}

const void* extension_data(const char* uri) {
  static const LV2_Worker_Interface worker{work, work_response, nullptr};
  static const LV2_State_Interface state{save, restore};
  if (std::strcmp(uri, LV2_WORKER__interface) == 0) return &worker;
  if (std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
  return nullptr;
}

const LV2_Descriptor descriptor{ZELMORA_LV2_URI, instantiate, connect_port, activate, run,
                                deactivate,      cleanup,     extension_data};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
  return index == 0 ? &descriptor : nullptr;
}
