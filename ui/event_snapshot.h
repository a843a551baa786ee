// The event list as plain values, for undo: a copy taken now and put back
// later, whatever became of the nodes meanwhile.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/types.h"

struct event_record {
  int type = 0;
  int time_stamp = 0;
  int end_time = 0;
  std::string name;
  std::string spec;
  std::optional<parameters_type> params;
  bool operator==(const event_record&) const = default;
};
using event_records = std::vector<event_record>;

event_records copy_event_list();
// Rebuilds Event_List and List_Size from `records`; no edit stays pending.
void restore_event_list(const event_records& records);
