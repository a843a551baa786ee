#include "ui/event_snapshot.h"

#include "engine/externs.h"
#include "events/event_list.h"

event_records copy_event_list() {
  event_records records;
  for (const event_type* e = Event_List.get(); e; e = e->next.get()) {
    records.push_back({e->type, e->time_stamp, e->end_time, e->name, e->spec, std::nullopt});
    if (e->params) records.back().params = *e->params;
  }
  return records;
}

void restore_event_list(const event_records& records) {
  clear_event_list();
  std::unique_ptr<event_type>* tail = &Event_List;
  for (const event_record& r : records) {
    *tail = std::make_unique<event_type>();
    event_type& e = **tail;
    e.type = r.type;
    e.time_stamp = r.time_stamp;
    e.end_time = r.end_time;
    e.name = r.name;
    e.spec = r.spec;
    if (r.params) e.params = std::make_unique<parameters_type>(*r.params);
    tail = &e.next;
  }
  List_Size = static_cast<int>(records.size());
  Event_List_Edit_No = -1;
  // Live play goes on with the events still to come.
  Next_Event = Event_List.get();
  while (Next_Event && Next_Event->time_stamp <= Current_Iteration) Next_Event = Next_Event->next.get();
}
