#include "events/event_list.h"

#include <algorithm>
#include <climits>

#include "engine/engine.h"
#include "engine/externs.h"

std::string event_name(const std::string& name) {
  // What a file holds of a name: up to a NUL (as "%s" writes it), and no CR
  // at its end, since a CR there ends the line. So a name reads back as written.
  std::string kept = name.substr(0, std::min(name.find('\0'), max_name));
  while (!kept.empty() && kept.back() == '\r') kept.pop_back();
  return kept;
}

std::unique_ptr<event_type> create_event(int type) {
  if (type < event_change || type > event_end) return nullptr;
  auto e = std::make_unique<event_type>();
  e->type = type;
  if (type == event_change || type == event_interp) e->params = std::make_unique<parameters_type>();
  return e;
}

event_type* event_number(int n) {
  event_type* e = Event_List.get();
  if (!e) return nullptr;
  for (int count = 1; e->next; ++count) {
    if (count == n) return e;
    e = e->next.get();
  }
  return e;
}

namespace {

int list_length() {
  int n = 0;
  for (const event_type* e = Event_List.get(); e; e = e->next.get()) ++n;
  return n;
}

// The owning link that holds the event at position n (1-based, in range).
std::unique_ptr<event_type>& link_to(int n) {
  std::unique_ptr<event_type>* link = &Event_List;
  for (int count = 1; count < n; ++count) link = &(*link)->next;
  return *link;
}

// Detaches the event at position n (in range) and returns it.
std::unique_ptr<event_type> unlink(int n) {
  std::unique_ptr<event_type>& link = link_to(n);
  std::unique_ptr<event_type> e = std::move(link);
  link = std::move(e->next);
  return e;
}

// Appends at the tail. Change and reseed events take the tail's time.
void append(std::unique_ptr<event_type> e, bool take_tail_time) {
  event_type* tail = event_number(0);
  if (take_tail_time) e->time_stamp = tail ? tail->time_stamp : 0;
  if (tail)
    tail->next = std::move(e);
  else
    Event_List = std::move(e);
}

}  // namespace

void add_event_params(const parameters_type& params, const std::string& name) {
  auto e = create_event(event_change);
  *e->params = params;
  e->name = event_name(name);
  append(std::move(e), true);
}

void add_event_interp(const parameters_type& params, const std::string& name, int time,
                      int end_time) {
  auto e = create_event(event_interp);
  *e->params = params;
  e->name = event_name("->" + name);
  e->time_stamp = time;
  e->end_time = end_time;
  append(std::move(e), false);
}

void add_event_special() {
  auto e = create_event(event_special);
  e->name = "Reseed";
  append(std::move(e), true);
}

void delete_event(int n) {
  if (n < 1) n = 1;
  // Walk to the link holding position n; beyond the end nothing is deleted.
  std::unique_ptr<event_type>* link = &Event_List;
  for (int count = 1; *link && count < n; ++count) link = &(*link)->next;
  if (!*link) return;
  std::unique_ptr<event_type> e = std::move(*link);
  *link = std::move(e->next);
  // The render cursor must never point at a released event: it moves on to
  // the successor, which now holds position n.
  if (Next_Event == e.get()) Next_Event = link->get();
}

int set_event_time(int n, int t) {
  const int length = list_length();
  if (length == 0) return -1;
  // A position outside the list names the last event, as event_number does.
  if (n < 1 || n > length) n = length;
  std::unique_ptr<event_type> e = unlink(n);
  // An interpolation keeps its length when it moves.
  if (t < 0) t = 0;
  if (e->type == event_interp) {
    const long long end = static_cast<long long>(e->end_time) + t - e->time_stamp;
    e->end_time = static_cast<int>(std::clamp<long long>(end, INT_MIN, INT_MAX));
  }
  e->time_stamp = t;

  if (!Event_List || e->time_stamp < Event_List->time_stamp) {
    e->next = std::move(Event_List);
    Event_List = std::move(e);
    return 1;
  }
  // After every event whose time is equal or smaller.
  event_type* before = Event_List.get();
  int count = 1;
  while (before->next && before->next->time_stamp <= e->time_stamp) {
    before = before->next.get();
    ++count;
  }
  e->next = std::move(before->next);
  before->next = std::move(e);
  return count + 1;
}

int find_event_time(int n) {
  const event_type* e = event_number(n);
  return e ? e->time_stamp : 0;
}

void find_event_name(int n, std::string& name) {
  if (const event_type* e = event_number(n)) name = e->name;
}

void find_event_type(int n, int& type) {
  if (const event_type* e = event_number(n)) type = e->type;
}

void find_event_length(int n, int& length) {
  if (const event_type* e = event_number(n)) {
    const long long span = static_cast<long long>(e->end_time) - e->time_stamp;
    length = e->type == event_interp ? static_cast<int>(std::clamp<long long>(span, INT_MIN, INT_MAX)) : 0;
  }
}

void clear_event_list() { clear_event_list(default_engine()); }

void clear_event_list(engine& e) {
  e.events.reset();  // releases node by node
  e.next_event = nullptr;
  e.list_size = 0;
}
