// The event list as text (*.cse): event blocks with embedded parameter sets.
#pragma once

#include <cstdio>
#include <memory>

#include "engine/types.h"

constexpr int event_line_max = 128;

int write_event_list(std::FILE* fp);
std::unique_ptr<event_type> read_event(std::FILE* fp);
// 1 when at least one event was read and the list replaced; -1 otherwise,
// and the list is left as it was.
int read_event_list(std::FILE* fp);
