// The event list as text (*.cse): event blocks with embedded parameter sets.
#pragma once

#include <cstdio>
#include <memory>

#include "engine/types.h"

constexpr int event_line_max = 128;

int write_event_list(std::FILE* fp);
std::unique_ptr<event_type> read_event(std::FILE* fp);
// 1 when every block up to the end of the file was read and the list
// replaced; 0 for an empty file (the list is emptied); -1 (reported) when
// any block is refused, and the list is left as it was.
int read_event_list(std::FILE* fp);
