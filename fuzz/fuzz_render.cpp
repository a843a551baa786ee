// A short render of a fuzzed parameter set followed by a fuzzed event
// list (the grid and the run capped so each input renders quickly): an
// accepted set and list always render completely, and every number in the
// score is finite.
#include <algorithm>

#include "engine/render.h"
#include "fuzz_support.h"

namespace {

constexpr int grid_cap = 24;

// The iteration count is read once, from the set: events' counts are moot.
void cap(parameters_type& p) {
  p.x = std::min(p.x, grid_cap);
  p.y = std::min(p.y, grid_cap);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::quiet_start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  systeminit();
  const auto read_set_and_list = [](std::FILE* in) {
    return read_parameters(in, Current_State) >= 0 && read_event_list(in) >= 0;
  };
  if (!fuzz::read_text({reinterpret_cast<const char*>(data), size}, read_set_and_list)) return 0;
  cap(Current_State);
  Current_State.iter = 12;
  for (event_type* e = Event_List.get(); e; e = e->next.get())
    if (e->params) cap(*e->params);
  char* buffer = nullptr;
  std::size_t length = 0;
  std::FILE* out = ::open_memstream(&buffer, &length);
  fuzz::require(out != nullptr, "a memory stream opens");
  fuzz::require(play_ca(out) == render_complete, "an accepted set renders");  // closes out
  const std::string score(buffer, length);
  std::free(buffer);
  fuzz::require(score.find("inf") == std::string::npos && score.find("nan") == std::string::npos,
                "every number in the score is finite");
  return 0;
}
