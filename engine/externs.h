// The run state, set by systeminit(): the fields of the default engine
// (engine.h) under their own names, one thread.
#pragma once

#include <cstdio>
#include <memory>

#include "dsp/grain_design.h"
#include "engine/types.h"

extern parameters_type& Current_State;
extern int& Current_Iteration;
extern int& Mean_Mode;  // 0 mean, otherwise mode
// How the grains sound: kept with a parameter file, handed to csound.
extern grain_design& Grain_Design;
extern int& Freq_Lock;
extern int& Amp_Lock;
extern std::unique_ptr<event_type>& Event_List;
extern int& List_Size;
extern int& Event_List_Edit_No;  // -1: no edit pending
extern event_type*& Next_Event;  // render cursor, never owning
extern int& Interp_Flag;

// Where progress and echo lines go ("Chug\n", "r1=%f \n", "wail\n", ...).
// The windowed program keeps standard output; a program that writes a score
// to standard output points this at standard error.
extern std::FILE* Echo_Stream;

void systeminit();
// The set systeminit() starts from, written into `p`.
void default_parameters(parameters_type& p);
