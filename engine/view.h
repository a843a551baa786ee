// The seam between an engine and whatever shows its state. Each engine has
// a list of views; the windows add theirs to the default engine at
// start-up, a headless program adds none and nothing is shown. The engine
// never knows about widgets. Grids and notes go to the sinks of
// iteration.h instead.
#pragma once

struct engine;

// Any hook may be null.
struct view_hooks {
  void (*set_control)() = nullptr;          // control panel from Current_State
  void (*set_all_frequencies)() = nullptr;  // States window
  void (*set_all_amplitudes)() = nullptr;   // Instruments window
  void (*show_iteration)(int) = nullptr;    // the control panel's counter
};

// A view is in an engine's list at most once, in the order added; it must
// outlive its place there. Neither may be called from a hook.
void add_view(engine& e, const view_hooks& view);
void remove_view(engine& e, const view_hooks& view);

// That hook of every view of `e`; without an engine, of the default one.
void view_set_control(const engine& e);
void view_set_all_frequencies(const engine& e);
void view_set_all_amplitudes(const engine& e);
void view_show_iteration(const engine& e, int iteration);
void view_set_control();
void view_set_all_frequencies();
void view_set_all_amplitudes();
void view_show_iteration(int iteration);
