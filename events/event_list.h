// The event list: appending, looking up, re-timing and deleting events.
// Positions count from 1; a position outside the list names the last event.
#pragma once

#include <memory>
#include <string>

#include "engine/types.h"

std::unique_ptr<event_type> create_event(int type);
event_type* event_number(int n);
void add_event_params(const parameters_type& params, const std::string& name);
void add_event_interp(const parameters_type& params, const std::string& name, int time,
                      int end_time);
void add_event_special();
void delete_event(int n);
int set_event_time(int n, int t);
int find_event_time(int n);
void find_event_name(int n, std::string& name);
void find_event_type(int n, int& type);
void find_event_length(int n, int& length);
void clear_event_list();
struct engine;
void clear_event_list(engine& e);

// A display name cut to the longest kept, without CRs at its end.
std::string event_name(const std::string& name);
