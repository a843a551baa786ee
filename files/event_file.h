// The event list as text (*.cse): event blocks with embedded parameter sets.
#pragma once

#include <cstdio>
#include <memory>

#include "engine/types.h"

constexpr int event_line_max = 128;

struct engine;

// The list of the default engine, or (_of, _into) of any.
int write_event_list(std::FILE* fp);
int write_event_list_of(std::FILE* fp, const engine& e);
std::unique_ptr<event_type> read_event(std::FILE* fp);
// 1 when every block up to the end of the file was read and the list
// replaced; 0 for an empty file (the list is emptied); -1 (reported) when
// any block is refused, and the list is left as it was. Fields a block
// leaves out take the engine's current values.
int read_event_list(std::FILE* fp);
int read_event_list_into(std::FILE* fp, engine& e);

// A list read on its own, not yet the program's.
struct event_list_read {
  std::unique_ptr<event_type> first;
  int count = 0;
};
// read_event_list() into `read`, the fields a block does not name taken
// from `base`; the program's list and set are not touched, so any thread
// may read one.
int read_event_list_into(std::FILE* fp, const parameters_type& base, event_list_read& read);
