#include "engine/automaton/automaton.h"
#include "engine/automaton/kernel_threads.h"
#include "engine/automaton/random_source.h"
#include "engine/engine.h"
#include "engine/externs.h"
#include "engine/mapping/compact_reduce.h"
#include "engine/mapping/exact_frequencies.h"
#include "engine/render/frames.h"
#include "engine/render/performance.h"

engine::engine() : engine(shared_row_pool()) {}

engine::engine(row_pool& rows)
    : random(std::make_unique<random_source>(1u)),
      kernels(std::make_unique<kernel_workspace>(rows)),
      frequencies(std::make_unique<sounding_frequencies>()),
      own_grids_(std::make_unique<std::array<grid_type, 2>>()) {
  grids = {&(*own_grids_)[0], &(*own_grids_)[1]};
}

engine::engine(facade_of_globals)
    : grids{&grid1, &grid2},
      random(std::make_unique<random_source>()),
      kernels(std::make_unique<kernel_workspace>(shared_row_pool())),
      frequencies(std::make_unique<sounding_frequencies>()) {}

engine::~engine() = default;

void engine::seed(unsigned seed) { random->seed(seed); }

namespace {

engine the_default{engine::facade_of_globals{}};

}  // namespace

engine& default_engine() { return the_default; }

parameters_type& Current_State = the_default.state;
int& Current_Iteration = the_default.iteration;
int& Mean_Mode = the_default.mean_mode;
grain_design& Grain_Design = the_default.grain;
int& Freq_Lock = the_default.freq_lock;
int& Amp_Lock = the_default.amp_lock;
std::unique_ptr<event_type>& Event_List = the_default.events;
int& List_Size = the_default.list_size;
int& Event_List_Edit_No = the_default.edit_no;
event_type*& Next_Event = the_default.next_event;
int& Interp_Flag = the_default.interp_flag;
std::array<int, 2>& coord = the_default.coord;
note_scaling& Note_Scaling = the_default.scaling;
std::FILE* Echo_Stream = stdout;

void default_parameters(parameters_type& p) {
  p.r1 = 0.8f;
  p.r2 = 1.2f;
  p.k = 1.0f;
  p.Ns = 40;
  p.x = 50;
  p.y = 50;
  p.dur = 0.025f;
  p.iter = 600;
  p.noinstrm = 25;
  // Entries at and above Ns / noinstrm keep whatever they hold (zero at
  // start): a larger set loaded later brings its own values.
  for (int s = 0; s < p.Ns; ++s) p.states[s] = 50.0f;
  for (int i = 0; i < p.noinstrm; ++i) p.instrm[i] = 50.0f;
}

void systeminit() {
  default_parameters(Current_State);

  Current_Iteration = 0;
  Mean_Mode = 0;
  Grain_Design = {};
  Freq_Lock = 0;
  Amp_Lock = 0;
  Event_List.reset();
  List_Size = 0;
  Event_List_Edit_No = -1;
  Next_Event = nullptr;
  Interp_Flag = 0;
  forget_exact_frequencies();
  default_engine().tune.reset();  // no scale, no quantizing, no beat grid
}
