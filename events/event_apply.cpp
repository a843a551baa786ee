#include "events/event_apply.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "engine/automaton/automaton.h"
#include "engine/engine.h"
#include "engine/externs.h"
#include "engine/report.h"
#include "engine/view.h"

namespace {

int states_in_use(const parameters_type& p) { return std::clamp(p.Ns, 0, max_states); }
int instruments_in_use(const parameters_type& p) {
  return std::clamp(p.noinstrm, 0, max_instruments);
}

// One glide step: every float field in use moves to its value at `elapsed`.
// Ns, noinstrm, x, y and iter never glide.
void glide_to(engine& e, int elapsed) {
  parameters_type& p = e.state;
  const glide_state& g = e.glide;
  const auto at = [&g, elapsed](float from, float to) {
    return interpolate(from, to, g.divisions, elapsed);
  };
  p.r1 = at(g.source.r1, g.target.r1);
  p.r2 = at(g.source.r2, g.target.r2);
  p.k = at(g.source.k, g.target.k);
  p.dur = at(g.source.dur, g.target.dur);
  for (int s = 0; s < states_in_use(p); ++s) p.states[s] = at(g.source.states[s], g.target.states[s]);
  for (int i = 0; i < instruments_in_use(p); ++i)
    p.instrm[i] = at(g.source.instrm[i], g.target.instrm[i]);
}

// The end of a glide: exactly the target's values, and the glide is over.
void arrive(engine& e) {
  parameters_type& p = e.state;
  const parameters_type& target = e.glide.target;
  p.r1 = target.r1;
  p.r2 = target.r2;
  p.k = target.k;
  p.dur = target.dur;
  for (int s = 0; s < states_in_use(p); ++s) p.states[s] = target.states[s];
  for (int i = 0; i < instruments_in_use(p); ++i) p.instrm[i] = target.instrm[i];
  e.interp_flag = 0;
}

void apply_change(engine& e, event_type& ev) {
  // Events never change the grid, the number of states or of instruments,
  // nor "Stop at": a render reads the count once, and a count carried in
  // from when the list was loaded would silently undo the one typed since.
  parameters_type& set = *ev.params;
  set.x = e.state.x;
  set.y = e.state.y;
  set.noinstrm = e.state.noinstrm;
  set.Ns = e.state.Ns;
  set.iter = e.state.iter;
  e.state = set;
}

void refresh_views(const engine& e) {
  view_set_control(e);
  view_set_all_frequencies(e);
  view_set_all_amplitudes(e);
}

}  // namespace

float interpolate(float a, float b, int d, int e) {
  const double from = a;
  const double to = b;
  return static_cast<float>(from + ((to - from) / d) * e);
}

void interp_params(const parameters_type* params, int time, int end_time) {
  interp_params(default_engine(), params, time, end_time);
}

void interp_params(engine& e, const parameters_type* params, int time, int end_time) {
  glide_state& g = e.glide;
  if (params) {
    e.interp_flag = 1;
    g.source = e.state;
    g.target = *params;
    const long long length = static_cast<long long>(end_time) - time;
    g.divisions = static_cast<int>(std::clamp<long long>(length, INT_MIN, INT_MAX));
    g.start_time = e.iteration;
  }
  const long long elapsed = static_cast<long long>(e.iteration) - g.start_time;
  if (g.divisions <= 0 || elapsed >= g.divisions)
    arrive(e);
  else
    glide_to(e, static_cast<int>(elapsed));
}

void update_parameters(grid_type& grid) {
  apply_due_events(default_engine(), [&grid] {
    init_array(grid, Current_State.Ns, Current_State.x, Current_State.y);
  });
}

void apply_due_events(engine& e, const std::function<void()>& reseed) {
  // A loop rather than recursion: a long run of events due together must
  // not exhaust the stack.
  bool glided = false;
  for (;;) {
    if (e.interp_flag == 1) {
      interp_params(e, nullptr, 0, 0);
      glided = true;
    }
    // The windows follow a glide even when no event is left to wait for.
    if (!e.next_event) {
      if (glided) refresh_views(e);
      return;
    }
    event_type& ev = *e.next_event;
    if (ev.time_stamp > e.iteration) {
      refresh_views(e);
      return;
    }
    switch (ev.type) {
      case event_change:
      case event_interp:
        if (e.interp_flag == 1) {  // waits for the glide to end
          refresh_views(e);
          return;
        }
        if (ev.type == event_change)
          apply_change(e, ev);
        else
          interp_params(e, ev.params.get(), ev.time_stamp, ev.end_time);
        break;
      case event_special:
        reseed();
        break;
      default:
        report_error("Feature not yet implemented\n");
        break;
    }
    e.next_event = ev.next.get();
  }
}
