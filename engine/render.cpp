#include "engine/render.h"

#include "engine/automaton.h"
#include "engine/externs.h"
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

render_bytes& render_bytes::operator=(render_bytes&& other) noexcept {
  write_out();
  grids = std::move(other.grids);
  rule = other.rule;
  rule_for = other.rule_for;
  rule_made = other.rule_made;
  rule_fits = other.rule_fits;
  return *this;
}

void render_bytes::write_out() {
  if (!grids) return;
  for (int g = 0; g < 2; ++g)
    if ((*grids)[g].x > 0) compact_to_ints((*grids)[g], iteration_grid(g));
  grids.reset();
}

namespace {

compact_grid* bytes_of(render_run& run, int t) {
  return run.bytes.grids ? &(*run.bytes.grids)[t % 2] : nullptr;
}

void reseed(render_run& run, int t) {
  const parameters_type& p = Current_State;
  const int x = clamp_extent(p.x);
  const int y = clamp_extent(p.y);
  if (compact_grid* bytes = bytes_of(run, t); bytes && x > 0 && y > 0 && p.Ns <= big_cell) {
    compact_seed(*bytes, p.Ns < 1 ? 1 : p.Ns, x, y);
    return;
  }
  run.bytes.write_out();
  init_array(iteration_grid(t), p.Ns, x, y);
}

// The extent can move between iterations (a slider during live play): the
// bytes take the new one through the ints, as the plain step would see it.
void fit_extent(render_run& run, int t) {
  compact_grid* bytes = bytes_of(run, t);
  const int x = clamp_extent(Current_State.x);
  const int y = clamp_extent(Current_State.y);
  if (!bytes || (bytes->x == x && bytes->y == y)) return;
  compact_to_ints(*bytes, iteration_grid(t));
  auto fitted = std::make_unique<compact_grid>();
  if (x > 0 && y > 0 && compact_from_ints(iteration_grid(t), *fitted, x, y))
    *bytes = *fitted;
  else
    run.bytes.write_out();
}

void reduce(render_run& run, int t) {
  const parameters_type& p = Current_State;
  if (const compact_grid* bytes = bytes_of(run, t)) {
    const auto& frequency = state_frequencies(p.states);
    (Mean_Mode != 0 ? compact_md_freq : compact_av_freq)(*bytes, run.freq, frequency, p.noinstrm);
  } else {
    (Mean_Mode != 0 ? md_freq : av_freq)(iteration_grid(t), run.freq, p.states, p.noinstrm, p.x,
                                          p.y);
  }
}

bool rule_fits_bytes(render_bytes& bytes, const parameters_type& p) {
  const std::array<double, 4> key{p.r1, p.r2, p.k, static_cast<double>(p.Ns)};
  if (!bytes.rule_made || key != bytes.rule_for) {
    bytes.rule_fits = make_compact_rule(p.r1, p.r2, p.k, p.Ns, bytes.rule);
    bytes.rule_for = key;
    bytes.rule_made = true;
  }
  return bytes.rule_fits;
}

void step(render_run& run, int t) {
  const parameters_type& p = Current_State;
  fit_extent(run, t);
  compact_grid* from = bytes_of(run, t);
  if (from && rule_fits_bytes(run.bytes, p)) {
    compact_step(*from, *bytes_of(run, t + 1), run.bytes.rule);
    coord = {from->x, from->y};  // where the cell-by-cell step leaves it
    return;
  }
  run.bytes.write_out();
  step_grid(iteration_grid(t), iteration_grid(t + 1), p.r1, p.r2, p.k, p.Ns, p.x, p.y);
}

}  // namespace

render_run start_render() {
  Next_Event = Event_List.get();
  Interp_Flag = 0;
  render_run run;
  run.bytes.grids = std::make_unique<std::array<compact_grid, 2>>();
  reseed(run, 0);
  run.iterations = Current_State.iter;
  return run;
}

bool render_iteration(render_run& run) {
  const int t = run.next++;
  Current_Iteration = t;
  apply_due_events([&run, t] { reseed(run, t); });
  fit_extent(run, t);
  reduce(run, t);

  // Every field is read after the events, so they govern this iteration.
  const parameters_type& p = Current_State;
  run.dur = p.dur;
  run.start = score_start_time(run.clock, t, p.dur);
  iteration it;
  it.number = t;
  it.start = run.start;
  it.dur = p.dur;
  it.notes = make_notes(run.notes, run.freq, p.instrm, p.noinstrm, run.start, p.dur);
  it.x = clamp_extent(p.x);
  it.y = clamp_extent(p.y);
  it.Ns = p.Ns;
  it.bytes = bytes_of(run, t);
  it.ints = &iteration_grid(t);
  hand_out(it);

  if (!rule_parameters_usable(p.r1, p.r2)) return false;
  step(run, t);
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
