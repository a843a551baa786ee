#include "engine/view.h"

view_hooks View;

void view_set_control() {
  if (View.set_control) View.set_control();
}

void view_set_all_frequencies() {
  if (View.set_all_frequencies) View.set_all_frequencies();
}

void view_set_all_amplitudes() {
  if (View.set_all_amplitudes) View.set_all_amplitudes();
}

void view_show_iteration(int iteration) {
  if (View.show_iteration) View.show_iteration(iteration);
}
