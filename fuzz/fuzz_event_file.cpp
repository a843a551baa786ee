// The event list reader: a refused text leaves the list as it was; every
// accepted event's set passes the range check; the written list reads back
// to the same list, whose first event reads alone the same.
#include "events/event_list.h"
#include "fuzz_support.h"

namespace {

std::string baseline;  // the list every input is loaded over

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::quiet_start();
  add_event_params(Current_State, "start");
  add_event_interp(Current_State, "->glide", 10, 20);
  add_event_special();
  baseline = fuzz::written_list();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int status = fuzz::read_text({reinterpret_cast<const char*>(data), size}, read_event_list);
  if (status < 0) {
    fuzz::require(fuzz::written_list() == baseline, "a refused list changed nothing");
    return 0;
  }
  for (const event_type* e = Event_List.get(); e; e = e->next.get())
    if (e->params) fuzz::require(check_parameters(*e->params) == 0, "accepted events are in range");
  const std::string text = fuzz::written_list();
  const int count = List_Size;
  fuzz::require(fuzz::read_text(text, read_event_list) == status && List_Size == count,
                "a written list is accepted");
  fuzz::require(fuzz::same_text(text, fuzz::written_list()), "read, write, read: same list");
  if (count > 0) {
    const auto first = fuzz::read_text(text, read_event);
    fuzz::require(first && first->type == Event_List->type && first->name == Event_List->name,
                  "the first event reads alone");
    const event_type* second = Event_List->next.get();
    delete_event(1);
    fuzz::require(Event_List.get() == second, "the first deleted");
  }
  fuzz::require(fuzz::read_text(baseline, read_event_list) == 1, "the baseline list loads");
  return 0;
}
