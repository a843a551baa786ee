#include "engine/render.h"

#include "engine/automaton.h"
#include "engine/externs.h"
#include "engine/mapping.h"
#include "engine/view.h"
#include "events/event_apply.h"

int play_ca(std::FILE* fp) {
  const compact_render_scope kept_grids;
  Next_Event = Event_List.get();
  Interp_Flag = 0;
  init_array(grid1, Current_State.Ns, Current_State.x, Current_State.y);
  std::fputs(score_header, fp);

  // Read once: an event that changes iter does not change this render.
  const int iterations = Current_State.iter;
  // Notes beyond the n*n computed blocks stay silent at 0 Hz.
  frequency_array freq{};
  int status = render_complete;
  for (int t = 0; t < iterations; ++t) {
    grid_type& current = (t % 2 == 0) ? grid1 : grid2;
    grid_type& next = (t % 2 == 0) ? grid2 : grid1;
    Current_Iteration = t;
    update_parameters(current);

    // Every field is read after the events, so they govern this iteration.
    const parameters_type& p = Current_State;
    if (Mean_Mode != 0)
      md_freq(current, freq, p.states, p.noinstrm, p.x, p.y);
    else
      av_freq(current, freq, p.states, p.noinstrm, p.x, p.y);
    writesound(fp, freq, p.instrm, p.noinstrm, t, p.dur);

    if (!rule_parameters_usable(p.r1, p.r2)) {
      status = render_abandoned;
      break;
    }
    step_grid(current, next, p.r1, p.r2, p.k, p.Ns, p.x, p.y);
    view_show_iteration(t);
  }

  if (std::ferror(fp) != 0 && status == render_complete) status = render_write_failed;
  if (std::fclose(fp) != 0 && status == render_complete) status = render_write_failed;
  return status;
}
