#include "engine/automaton/automaton.h"
#include "engine/engine.h"
#include "engine/mapping/exact_frequencies.h"
#include "engine/externs.h"

namespace {

engine the_default({&grid1, &grid2});

}  // namespace

engine::engine() : own_grids_(std::make_unique<std::array<grid_type, 2>>()) {
  grids = {&(*own_grids_)[0], &(*own_grids_)[1]};
}

engine& default_engine() { return the_default; }
bool shown_in_windows(const engine& e) { return &e == &the_default; }

parameters_type& Current_State = the_default.state;
int& Current_Iteration = the_default.iteration;
int& Mean_Mode = the_default.mean_mode;
int& Freq_Lock = the_default.freq_lock;
int& Amp_Lock = the_default.amp_lock;
std::unique_ptr<event_type>& Event_List = the_default.events;
int& List_Size = the_default.list_size;
int& Event_List_Edit_No = the_default.edit_no;
event_type*& Next_Event = the_default.next_event;
int& Interp_Flag = the_default.interp_flag;
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
  Freq_Lock = 0;
  Amp_Lock = 0;
  Event_List.reset();
  List_Size = 0;
  Event_List_Edit_No = -1;
  Next_Event = nullptr;
  Interp_Flag = 0;
  forget_exact_frequencies();
}
