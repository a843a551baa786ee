#include "events/event_apply.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "engine/automaton.h"
#include "engine/externs.h"
#include "engine/report.h"
#include "engine/view.h"

namespace {

// The running glide, kept until the next one starts.
parameters_type source;
parameters_type target;
int divisions = 0;
int start_time = 0;

int states_in_use() { return std::clamp(Current_State.Ns, 0, max_states); }
int instruments_in_use() { return std::clamp(Current_State.noinstrm, 0, max_instruments); }

// One glide step: every float field in use moves to its value at `elapsed`.
// Ns, noinstrm, x, y and iter never glide.
void glide_to(int elapsed) {
  parameters_type& p = Current_State;
  p.r1 = interpolate(source.r1, target.r1, divisions, elapsed);
  p.r2 = interpolate(source.r2, target.r2, divisions, elapsed);
  p.k = interpolate(source.k, target.k, divisions, elapsed);
  p.dur = interpolate(source.dur, target.dur, divisions, elapsed);
  for (int s = 0; s < states_in_use(); ++s)
    p.states[s] = interpolate(source.states[s], target.states[s], divisions, elapsed);
  for (int i = 0; i < instruments_in_use(); ++i)
    p.instrm[i] = interpolate(source.instrm[i], target.instrm[i], divisions, elapsed);
}

// The end of a glide: exactly the target's values, and the glide is over.
void arrive() {
  parameters_type& p = Current_State;
  p.r1 = target.r1;
  p.r2 = target.r2;
  p.k = target.k;
  p.dur = target.dur;
  for (int s = 0; s < states_in_use(); ++s) p.states[s] = target.states[s];
  for (int i = 0; i < instruments_in_use(); ++i) p.instrm[i] = target.instrm[i];
  Interp_Flag = 0;
}

void apply_change(event_type& e) {
  // Events never change the grid, the number of states or of instruments,
  // nor "Stop at": a render reads the count once, and a count carried in
  // from when the list was loaded would silently undo the one typed since.
  parameters_type& set = *e.params;
  set.x = Current_State.x;
  set.y = Current_State.y;
  set.noinstrm = Current_State.noinstrm;
  set.Ns = Current_State.Ns;
  set.iter = Current_State.iter;
  Current_State = set;
}

void refresh_views() {
  view_set_control();
  view_set_all_frequencies();
  view_set_all_amplitudes();
}

}  // namespace

float interpolate(float a, float b, int d, int e) {
  const double from = a;
  const double to = b;
  return static_cast<float>(from + ((to - from) / d) * e);
}

void interp_params(const parameters_type* params, int time, int end_time) {
  if (params) {
    Interp_Flag = 1;
    source = Current_State;
    target = *params;
    const long long length = static_cast<long long>(end_time) - time;
    divisions = static_cast<int>(std::clamp<long long>(length, INT_MIN, INT_MAX));
    start_time = Current_Iteration;
  }
  const long long elapsed = static_cast<long long>(Current_Iteration) - start_time;
  if (divisions <= 0 || elapsed >= divisions)
    arrive();
  else
    glide_to(static_cast<int>(elapsed));
}

void update_parameters(grid_type& grid) {
  // A loop rather than recursion: a long run of events due together must
  // not exhaust the stack.
  bool glided = false;
  for (;;) {
    if (Interp_Flag == 1) {
      interp_params(nullptr, 0, 0);
      glided = true;
    }
    // The windows follow a glide even when no event is left to wait for.
    if (!Next_Event) {
      if (glided) refresh_views();
      return;
    }
    event_type& e = *Next_Event;
    if (e.time_stamp > Current_Iteration) {
      refresh_views();
      return;
    }
    switch (e.type) {
      case event_change:
      case event_interp:
        if (Interp_Flag == 1) {  // waits for the glide to end
          refresh_views();
          return;
        }
        if (e.type == event_change)
          apply_change(e);
        else
          interp_params(e.params.get(), e.time_stamp, e.end_time);
        break;
      case event_special:
        init_array(grid, Current_State.Ns, Current_State.x, Current_State.y);
        break;
      default:
        report_error("Feature not yet implemented\n");
        break;
    }
    Next_Event = e.next.get();
  }
}
