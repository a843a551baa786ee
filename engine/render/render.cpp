#include "engine/render/render.h"

#include "engine/render/frames.h"

#include "engine/automaton/automaton.h"
#include "engine/engine.h"
#include "engine/mapping/compact_reduce.h"
#include "engine/mapping/exact_frequencies.h"
#include "engine/mapping/grid_warning.h"
#include "engine/mapping/tuning.h"
#include "engine/render/performance.h"
#include "engine/view.h"
#include "events/event_apply.h"

double score_start_time(score_clock& clock, int t, double dur) {
  if (t > 0 && dur != clock.dur) {
    clock.origin_time += static_cast<double>(t - clock.origin_iteration) * clock.dur;
    clock.origin_iteration = t;
  }
  clock.dur = dur;
  return clock.origin_time + static_cast<double>(t - clock.origin_iteration) * dur;
}

grid_type& iteration_grid(int t) { return *default_engine().grids[t % 2]; }

render_bytes& render_bytes::operator=(render_bytes&& other) noexcept {
  write_out();
  grids = std::move(other.grids);
  ints = other.ints;
  rule = other.rule;
  rule_for = other.rule_for;
  rule_made = other.rule_made;
  rule_fits = other.rule_fits;
  return *this;
}

void render_bytes::write_out() {
  if (!grids) return;
  for (int g = 0; g < 2; ++g)
    if ((*grids)[g].x > 0) compact_to_ints((*grids)[g], *ints[g]);
  grids.reset();
}

namespace {

compact_grid* bytes_of(render_run& run, int t) {
  return run.bytes.grids ? &(*run.bytes.grids)[t % 2] : nullptr;
}

grid_type& ints_of(render_run& run, int t) { return *run.owner->grids[t % 2]; }

void reseed(render_run& run, int t) {
  const parameters_type& p = run.owner->state;
  const int x = clamp_extent(p.x);
  const int y = clamp_extent(p.y);
  if (compact_grid* bytes = bytes_of(run, t); bytes && x > 0 && y > 0 && p.Ns <= big_cell) {
    compact_seed(*bytes, p.Ns < 1 ? 1 : p.Ns, x, y, *run.owner->random);
    return;
  }
  run.bytes.write_out();
  init_array(ints_of(run, t), p.Ns, x, y, *run.owner->random);
}

// The extent can move between iterations (a slider during live play): the
// bytes take the new one through the ints, as the plain step would see it.
void fit_extent(render_run& run, int t) {
  compact_grid* bytes = bytes_of(run, t);
  const int x = clamp_extent(run.owner->state.x);
  const int y = clamp_extent(run.owner->state.y);
  if (!bytes || (bytes->x == x && bytes->y == y)) return;
  compact_to_ints(*bytes, ints_of(run, t));
  auto fitted = std::make_unique<compact_grid>();
  if (x > 0 && y > 0 && compact_from_ints(ints_of(run, t), *fitted, x, y))
    *bytes = *fitted;
  else
    run.bytes.write_out();
}

void reduce(render_run& run, int t) {
  engine& e = *run.owner;
  const parameters_type& p = e.state;
  const bool mode = e.mean_mode != 0;
  const auto& frequency = e.frequencies->table(p.states);
  if (const compact_grid* bytes = bytes_of(run, t)) {
    if (mode)
      compact_md_freq(*bytes, run.freq, frequency, p.noinstrm, e.kernels->mode);
    else
      compact_av_freq(*bytes, run.freq, frequency, p.noinstrm, e.kernels->rows());
  } else {
    (mode ? md_freq_from : av_freq_from)(ints_of(run, t), run.freq, frequency, p.noinstrm, p.x,
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
  engine& e = *run.owner;
  const parameters_type& p = e.state;
  fit_extent(run, t);
  compact_grid* from = bytes_of(run, t);
  if (from && rule_fits_bytes(run.bytes, p)) {
    compact_step(*from, *bytes_of(run, t + 1), run.bytes.rule, e.kernels->step);
    e.coord = {from->x, from->y};  // where the cell-by-cell step leaves it
    return;
  }
  run.bytes.write_out();
  step_grid(ints_of(run, t), ints_of(run, t + 1), p.r1, p.r2, p.k, p.Ns, p.x, p.y, e.coord);
}

}  // namespace

render_run start_render(engine& e) {
  e.next_event = e.events.get();
  e.interp_flag = 0;
  render_run run;
  run.owner = &e;
  run.bytes.grids = std::make_unique<std::array<compact_grid, 2>>();
  run.bytes.ints = e.grids;
  reseed(run, 0);
  run.iterations = e.state.iter;
  if (run.iterations > 0) warn_if_grid_is_silent(e.state);
  return run;
}

bool render_iteration(render_run& run) {
  engine& e = *run.owner;
  const int t = run.next++;
  e.iteration = t;
  apply_due_events(e, [&run, t] { reseed(run, t); });
  if (performance_before_iteration(e)) reseed(run, t);
  fit_extent(run, t);
  reduce(run, t);

  // Every field is read after the events, so they govern this iteration.
  const parameters_type& p = e.state;
  run.dur = iteration_duration(e, p.dur);  // a beat grid's, else p.dur
  run.start = score_start_time(run.clock, t, run.dur);
  iteration it;
  it.number = t;
  it.start = run.start;
  it.dur = run.dur;
  const auto& amplitudes = scale_notes(e.scaling, run.freq, p.instrm, p.noinstrm, run.scaled);
  quantize_blocks(e, run.freq, p.noinstrm);  // after a transposition, so notes stay in tune
  it.notes = make_notes(run.notes, run.freq, amplitudes, p.noinstrm, run.start, run.dur);
  it.x = clamp_extent(p.x);
  it.y = clamp_extent(p.y);
  it.Ns = p.Ns;
  it.bytes = bytes_of(run, t);
  it.ints = &ints_of(run, t);
  hand_out(e, it);

  if (!rule_parameters_usable(p.r1, p.r2)) return false;
  step(run, t);
  view_show_iteration(e, t);
  return true;
}

int play_ca(std::FILE* fp) { return play_ca(default_engine(), fp); }

int play_ca(engine& e, std::FILE* fp) {
  score_writer score(fp);
  add_iteration_sink(e, score);
  render_run run = start_render(e);
  std::fputs(score_header, fp);
  int status = render_complete;
  while (run.next < run.iterations) {
    if (!render_iteration(run) || frame_failed(e)) {
      status = render_abandoned;
      break;
    }
  }
  remove_iteration_sink(e, score);
  if (std::ferror(fp) != 0 && status == render_complete) status = render_write_failed;
  if (std::fclose(fp) != 0 && status == render_complete) status = render_write_failed;
  return status;
}
