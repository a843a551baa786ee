#include "engine/externs.h"

parameters_type Current_State;
int Current_Iteration = 0;
int Mean_Mode = 0;
int Freq_Lock = 0;
int Amp_Lock = 0;
std::unique_ptr<event_type> Event_List;
int List_Size = 0;
int Event_List_Edit_No = -1;
event_type* Next_Event = nullptr;
int Interp_Flag = 0;
std::FILE* Echo_Stream = stdout;

void systeminit() {
  Current_State.r1 = 0.8f;
  Current_State.r2 = 1.2f;
  Current_State.k = 1.0f;
  Current_State.Ns = 40;
  Current_State.x = 50;
  Current_State.y = 50;
  Current_State.dur = 0.025f;
  Current_State.iter = 600;
  Current_State.noinstrm = 25;
  // Entries at and above Ns / noinstrm keep whatever they hold (zero at
  // start): a larger set loaded later brings its own values.
  for (int s = 0; s < Current_State.Ns; ++s) Current_State.states[s] = 50.0f;
  for (int i = 0; i < Current_State.noinstrm; ++i) Current_State.instrm[i] = 50.0f;

  Current_Iteration = 0;
  Mean_Mode = 0;
  Freq_Lock = 0;
  Amp_Lock = 0;
  Event_List.reset();
  List_Size = 0;
  Event_List_Edit_No = -1;
  Next_Event = nullptr;
  Interp_Flag = 0;
}
