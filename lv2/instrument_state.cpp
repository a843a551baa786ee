// The automaton's side of an instance: fresh starts, the state the host
// keeps, and files set through the parameters. Never called from run().
#include <cstdio>
#include <string_view>

#include "engine/externs.h"
#include "engine/report.h"
#include "files/readable_file.h"
#include "lv2/instrument.h"
#include "lv2/state_text.h"

namespace {

// Larger files are no parameter set or event list of ours.
constexpr long longest_file = 64L << 20;

bool slurp(const std::string& path, std::string& text) {
  const file_ptr fp = open_for_reading(path);
  if (!fp || std::fseek(fp.get(), 0, SEEK_END) != 0) return false;
  const long size = std::ftell(fp.get());
  if (size < 0 || size > longest_file || std::fseek(fp.get(), 0, SEEK_SET) != 0) return false;
  text.resize(static_cast<std::size_t>(size));
  return std::fread(text.data(), 1, text.size(), fp.get()) == text.size();
}

// A state's text: the value stored under `key`, if it is one.
std::string_view retrieved(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                           LV2_URID key, LV2_URID string_type, bool& present) {
  std::size_t size = 0;
  std::uint32_t type = 0, flags = 0;
  const auto* text = static_cast<const char*>(retrieve(handle, key, &size, &type, &flags));
  present = text && type == string_type;
  if (!present) return {};
  std::string_view view(text, size);
  while (!view.empty() && view.back() == '\0') view.remove_suffix(1);
  return view;
}

}  // namespace

// The render from the start, its first blocks computed before any sound.
void instrument::start_fresh() {
  const std::uint32_t generation = ++generation_;
  restart_at_ = 0;
  source_.restart(0, generation);
  requested_until_ = ahead_until(block_);
  source_.compute_until(requested_until_);
}

bool instrument::load_file(const std::string& path, bool events) {
  std::string text;
  if (!slurp(path, text)) {
    report_error("zelmora: can't read %s\n", path.c_str());
    return false;
  }
  if (events) {
    engine& e = source_.engine_for_load();
    const parameters_type before = e.state;
    e.state = source_.start().params;  // what blocks leave out
    if (!read_event_text(text, e)) {
      e.state = before;
      report_error("zelmora: %s refused\n", path.c_str());
      return false;
    }
  } else if (!read_parameter_text(text, source_.start_for_load())) {
    report_error("zelmora: %s refused\n", path.c_str());
    return false;
  }
  source_.restart_in_place();
  return true;
}

LV2_State_Status instrument::save(LV2_State_Store_Function store, LV2_State_Handle handle) {
  std::string parameters, events;
  {
    const std::lock_guard<std::mutex> hold(source_lock_);
    parameters = parameter_text(source_.start());
    events = event_text(source_.current());
  }
  const std::uint32_t flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
  const LV2_State_Status status = store(handle, uris_.parameters, parameters.c_str(),
                                        parameters.size() + 1, uris_.atom_String, flags);
  if (status != LV2_STATE_SUCCESS) return status;
  return store(handle, uris_.events, events.c_str(), events.size() + 1, uris_.atom_String, flags);
}

// The set and the list are read whole before anything changes; a refused
// one (or a list without a set) leaves the instance as it was. Before any sound, the render starts
// from the beginning as a fresh instance's would; while it sounds, the
// restored set takes over where the notes computed so far end.
LV2_State_Status instrument::restore(LV2_State_Retrieve_Function retrieve,
                                     LV2_State_Handle handle) {
  bool has_parameters = false, has_events = false;
  const std::string_view parameters =
      retrieved(retrieve, handle, uris_.parameters, uris_.atom_String, has_parameters);
  const std::string_view events =
      retrieved(retrieve, handle, uris_.events, uris_.atom_String, has_events);
  // A state of none of ours (a host's default state holds port values
  // alone) leaves the instance as it is.
  if (!has_parameters && !has_events) return LV2_STATE_SUCCESS;
  parameter_text_set set;
  default_parameters(set.params);
  if (!has_parameters || !read_parameter_text(parameters, set)) {
    report_error("zelmora: the state's parameter set is refused\n");
    return LV2_STATE_ERR_NO_PROPERTY;
  }
  const std::lock_guard<std::mutex> hold(source_lock_);
  engine& e = source_.engine_for_load();
  const parameters_type before = e.state;
  e.state = set.params;
  if (!read_event_text(has_events ? events : std::string_view{}, e)) {
    e.state = before;
    report_error("zelmora: the state's event list is refused\n");
    return LV2_STATE_ERR_NO_PROPERTY;
  }
  source_.start_for_load() = set;
  if (ran_.load())
    source_.restart_in_place();
  else
    start_fresh();
  resync_ = true;
  return LV2_STATE_SUCCESS;
}
