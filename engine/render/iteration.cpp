#include "engine/render/iteration.h"

#include <algorithm>

#include "engine/automaton/compact_grid.h"
#include "engine/engine.h"

const grid_type& iteration::grid() const {
  if (bytes != nullptr && !written_) compact_to_ints(*bytes, *ints);
  written_ = true;
  return *ints;
}

void add_iteration_sink(engine& e, iteration_sink& sink) {
  if (std::find(e.sinks.begin(), e.sinks.end(), &sink) == e.sinks.end()) e.sinks.push_back(&sink);
}

void remove_iteration_sink(engine& e, iteration_sink& sink) { std::erase(e.sinks, &sink); }

void add_iteration_sink(iteration_sink& sink) { add_iteration_sink(default_engine(), sink); }
void remove_iteration_sink(iteration_sink& sink) { remove_iteration_sink(default_engine(), sink); }

void hand_out(const engine& e, const iteration& it) {
  for (iteration_sink* sink : e.sinks) sink->on_iteration(it);
}
