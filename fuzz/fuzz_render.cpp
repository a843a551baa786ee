// A short render of a fuzzed parameter set followed by a fuzzed event
// list (the grid and the run capped so each input renders quickly): an
// accepted set and list always render completely, and every number in the
// score is finite.
//
// The input's first byte picks how the render runs, one option a bit, so
// that the fuzzer reaches every path a user can: the rest is the set and
// the list, as text.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "engine/automaton/automaton.h"
#include "engine/automaton/compact_step.h"
#include "engine/engine.h"
#include "engine/mapping/compact_reduce.h"
#include "engine/render/frames.h"
#include "engine/automaton/kernel_threads.h"
#include "engine/render/render.h"
#include "events/event_list.h"
#include "platform/replacing_file.h"
#include "fuzz_support.h"
#include "tests/core/reference.h"

namespace {

enum option : unsigned {
  mode_reduction = 1,
  both_threads = 2,      // a grid big enough to be split between the kernel threads
  portable_kernels = 4,  // instead of the vector ones the machine offers
  one_thread = 8,
  edited_events = 16,    // a change of duration, a glide and a reseed added as the editor adds them
  frames = 32,           // a picture of every iteration
  score_file = 64,       // the score written to a file, replaced as a user's would be
  literal_model = 128,   // the reductions and a step of the grids left checked against the literal model
};

constexpr int grid_cap = 24;
constexpr int split_grid = 256;  // 65 536 cells: the kernels split from there
constexpr int iterations = 12;

// The iteration count is read once, from the set: events' counts are moot.
void cap(parameters_type& p, int side) {
  p.x = std::min(p.x, side);
  p.y = std::min(p.y, side);
}

// As the Event List Editor adds events: appended, then moved to their
// iterations; a moved event is found at the position said, and every
// position the editor shows names the event there.
void add_edited_events(unsigned seed) {
  parameters_type longer = Current_State;
  longer.dur = std::min(Current_State.dur * 2.0f, 10.0f);
  add_event_params(longer, "longer");
  const int at = static_cast<int>(seed % iterations);
  fuzz::require(find_event_time(set_event_time(List_Size + 1, at)) == at, "found where moved");
  add_event_interp(Current_State, "back", 2, 2 + static_cast<int>(seed % 7));
  add_event_special();
  set_event_time(static_cast<int>(seed % 5), 3);
  int n = 1;
  for (const event_type* e = Event_List.get(); e; e = e->next.get(), ++n) {
    std::string name;
    int type = 0;
    find_event_name(n, name);
    find_event_type(n, type);
    fuzz::require(name == e->name && type == e->type && find_event_time(n) == e->time_stamp,
                  "a position names the event there");
  }
}

std::string rendered(unsigned options) {
  if ((options & score_file) == 0) {
    char* buffer = nullptr;
    std::size_t length = 0;
    fuzz::require(play_ca(::open_memstream(&buffer, &length)) == render_complete,
                  "an accepted set renders");  // closes the stream
    const std::string score(buffer, length);
    std::free(buffer);
    return score;
  }
  const std::string name = fuzz::scratch_directory() + "/score.sco";
  replacing_file file(name);
  fuzz::require(file.stream() != nullptr, "a score file opens");
  fuzz::require(play_ca(file.release()) == render_complete, "an accepted set renders");
  fuzz::require(file.commit_closed(true), "a score file is replaced");
  std::ifstream in(name);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The grids a render leaves are ints again: their reductions take the int
// kernels (the mode's counting kernels among them), which must agree with
// the literal model bit for bit.
void check_reductions_against_literal_model() {
  const parameters_type& p = Current_State;
  const int blocks = blocks_per_side(p.noinstrm);
  const auto same = [&](const frequency_array& a, const frequency_array& b) {
    return std::equal(a.begin(), a.begin() + blocks * blocks, b.begin());
  };
  for (const grid_type* grid : {&grid1, &grid2}) {
    frequency_array engine{}, literal{};
    md_freq(*grid, engine, p.states, p.noinstrm, p.x, p.y);
    reference::md_freq(*grid, literal, p.states, p.noinstrm, p.x, p.y);
    fuzz::require(same(engine, literal), "the mode is the literal model's");
    av_freq(*grid, engine, p.states, p.noinstrm, p.x, p.y);
    reference::av_freq(*grid, literal, p.states, p.noinstrm, p.x, p.y);
    fuzz::require(same(engine, literal), "the mean is the literal model's");
  }
}

// The grid a render leaves stepped once more, cell by cell and by the byte
// kernels: both must be the literal model's step, cell for cell.
void check_steps_against_literal_model() {
  const parameters_type& p = Current_State;
  const int x = clamp_extent(p.x), y = clamp_extent(p.y);
  static const auto literal = std::make_unique<grid_type>(), stepped = std::make_unique<grid_type>();
  static const auto bytes = std::make_unique<std::array<compact_grid, 2>>();
  const auto same = [&](const char* what) {
    for (int r = 0; r <= x + 1; ++r)
      fuzz::require(std::equal(&(*stepped)[r][0], &(*stepped)[r][y + 2], &(*literal)[r][0]), what);
  };
  reference::step(grid1, *literal, p.r1, p.r2, p.k, p.Ns, x, y);
  step_grid(grid1, *stepped, p.r1, p.r2, p.k, p.Ns, x, y);
  same("the cell-by-cell step is the literal model's");
  compact_rule rule;
  if (!make_compact_rule(p.r1, p.r2, p.k, p.Ns, rule) || !compact_from_ints(grid1, (*bytes)[0], x, y))
    return;
  compact_step((*bytes)[0], (*bytes)[1], rule, default_engine().kernels->step);
  compact_to_ints((*bytes)[1], *stepped);
  same("the byte step is the literal model's");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::quiet_start();
  fuzz::scratch_directory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned options = data[0];
  systeminit();
  const auto read_set_and_list = [](std::FILE* in) {
    return read_parameters(in, Current_State) >= 0 && read_event_list(in) >= 0;
  };
  if (!fuzz::read_text({reinterpret_cast<const char*>(data) + 1, size - 1}, read_set_and_list))
    return 0;
  const bool split = (options & both_threads) != 0;
  if (split) Current_State.x = Current_State.y = split_grid;
  cap(Current_State, split ? split_grid : grid_cap);
  // A split grid is costly: a few iterations show the split.
  Current_State.iter = split ? 3 : iterations;
  for (event_type* e = Event_List.get(); e; e = e->next.get())
    if (e->params) cap(*e->params, split ? split_grid : grid_cap);
  if (options & edited_events) add_edited_events(static_cast<unsigned>(size));
  Mean_Mode = (options & mode_reduction) ? 1 : 0;
  set_kernel_threads((options & one_thread) ? 1 : 2);
  force_portable_kernels((options & portable_kernels) != 0);
  stop_frames();
  if (options & frames) fuzz::require(write_frames_to(fuzz::scratch_directory(), 1), "frames can be written");

  const std::string score = rendered(options);
  fuzz::require(score.find("inf") == std::string::npos && score.find("nan") == std::string::npos,
                "every number in the score is finite");
  fuzz::require(!frame_failed(), "every frame is written");
  if (options & literal_model) {
    check_reductions_against_literal_model();
    check_steps_against_literal_model();
  }
  return 0;
}
