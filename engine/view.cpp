#include "engine/view.h"

#include <algorithm>

#include "engine/engine.h"

namespace {

template <typename Hook, typename... Args>
void call_each(const engine& e, Hook view_hooks::*hook, Args... args) {
  for (const view_hooks* view : e.views)
    if (view->*hook) (view->*hook)(args...);
}

}  // namespace

void add_view(engine& e, const view_hooks& view) {
  if (std::find(e.views.begin(), e.views.end(), &view) == e.views.end()) e.views.push_back(&view);
}

void remove_view(engine& e, const view_hooks& view) { std::erase(e.views, &view); }

void view_set_control(const engine& e) { call_each(e, &view_hooks::set_control); }
void view_set_all_frequencies(const engine& e) { call_each(e, &view_hooks::set_all_frequencies); }
void view_set_all_amplitudes(const engine& e) { call_each(e, &view_hooks::set_all_amplitudes); }
void view_show_iteration(const engine& e, int iteration) {
  call_each(e, &view_hooks::show_iteration, iteration);
}

void view_set_control() { view_set_control(default_engine()); }
void view_set_all_frequencies() { view_set_all_frequencies(default_engine()); }
void view_set_all_amplitudes() { view_set_all_amplitudes(default_engine()); }
void view_show_iteration(int iteration) { view_show_iteration(default_engine(), iteration); }
