#include "engine/render.h"

#include "engine/automaton.h"
#include "engine/externs.h"
#include "engine/grid_warning.h"
#include "engine/view.h"
#include "events/event_apply.h"

double score_start_time(score_clock& clock, int t, float dur) {
  if (t > 0 && dur != clock.dur) {
    clock.origin_time += static_cast<double>(t - clock.origin_iteration) *
                         static_cast<double>(clock.dur);
    clock.origin_iteration = t;
  }
  clock.dur = dur;
  return clock.origin_time +
         static_cast<double>(t - clock.origin_iteration) * static_cast<double>(dur);
}

grid_type& iteration_grid(int t) { return (t % 2 == 0) ? grid1 : grid2; }

render_run start_render() {
  Next_Event = Event_List.get();
  Interp_Flag = 0;
  render_run run;
  run.kept_grids = std::make_unique<compact_render_scope>();
  init_array(grid1, Current_State.Ns, Current_State.x, Current_State.y);
  run.iterations = Current_State.iter;
  if (run.iterations > 0) warn_if_grid_is_silent(Current_State);
  return run;
}

bool render_iteration(render_run& run) {
  const int t = run.next++;
  grid_type& current = iteration_grid(t);
  Current_Iteration = t;
  update_parameters(current);

  // Every field is read after the events, so they govern this iteration.
  const parameters_type& p = Current_State;
  if (Mean_Mode != 0)
    md_freq(current, run.freq, p.states, p.noinstrm, p.x, p.y);
  else
    av_freq(current, run.freq, p.states, p.noinstrm, p.x, p.y);
  run.dur = p.dur;
  run.start = score_start_time(run.clock, t, p.dur);
  hand_out({t, run.start, p.dur,
            make_notes(run.notes, run.freq, p.instrm, p.noinstrm, run.start, p.dur),
            clamp_extent(p.x), clamp_extent(p.y), p.Ns, &current});

  if (!rule_parameters_usable(p.r1, p.r2)) return false;
  step_grid(current, iteration_grid(t + 1), p.r1, p.r2, p.k, p.Ns, p.x, p.y);
  view_show_iteration(t);
  return true;
}

int play_ca(std::FILE* fp) {
  score_writer score(fp);
  const sink_registration writing(score);
  render_run run = start_render();
  std::fputs(score_header, fp);
  int status = render_complete;
  while (run.next < run.iterations) {
    if (!render_iteration(run)) {
      status = render_abandoned;
      break;
    }
  }
  if (std::ferror(fp) != 0 && status == render_complete) status = render_write_failed;
  if (std::fclose(fp) != 0 && status == render_complete) status = render_write_failed;
  return status;
}
