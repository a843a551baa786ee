#include "control/bindings.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string_view>

#include "platform/replacing_file.h"
#include "files/readable_file.h"
#include "control/control_log.h"
#include "engine/limits.h"
#include "engine/mapping/scales.h"
#include "dsp/grain_design.h"

binding_table Bindings;

namespace {

constexpr int controller_top = 127;

bool whole_number(const std::string& text, int low, int high, int& value) {
  if (text.empty() || text.size() > 9) return false;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  value = std::stoi(text);
  return value >= low && value <= high;
}

double number_of(const std::string& text, bool& ok) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  ok = !text.empty() && end == text.c_str() + text.size() && std::isfinite(value);
  return value;
}

bool within(double value, const binding_range& span) {
  return value >= std::min(span.low, span.high) && value <= std::max(span.low, span.high);
}

// The control's value `travel` of the way through `range`.
double value_at(const binding_target& target, const binding_range& range, double travel) {
  if (logarithmic(target)) return range.low * std::pow(range.high / range.low, travel);
  return range.low + (range.high - range.low) * travel;
}

// A grain key's value: its choices and overlaps in whole steps.
double grain_value(const char* key, double value) {
  int choices = 0;
  grain_choices(key, choices);
  return choices > 0 || std::string_view(key) == "overlap" ? std::round(value) : value;
}

}  // namespace

std::optional<binding_target> parse_target(const std::string& name) {
  if (name == "r1") return binding_target{control_kind::r1, 0};
  if (name == "r2") return binding_target{control_kind::r2, 0};
  if (name == "k") return binding_target{control_kind::k, 0};
  if (name == "x") return binding_target{control_kind::grid_x, 0};
  if (name == "y") return binding_target{control_kind::grid_y, 0};
  for (int key = 0; key < grain_key_count; ++key)
    if (name == grain_keys[key]) return binding_target{control_kind::grain, key};
  int index = 0;
  if (name.size() > 1 && (name[0] == 's' || name[0] == 'i') &&
      whole_number(name.substr(1), 0, max_states - 1, index))
    return binding_target{name[0] == 's' ? control_kind::state_position : control_kind::instrument,
                          index};
  return std::nullopt;
}

std::string target_name(const binding_target& target) {
  switch (target.kind) {
    case control_kind::r1: return "r1";
    case control_kind::r2: return "r2";
    case control_kind::k: return "k";
    case control_kind::grid_x: return "x";
    case control_kind::grid_y: return "y";
    case control_kind::state_position: return std::string(1, 's') += std::to_string(target.index);
    case control_kind::grain: return grain_keys[target.index];
    default: return std::string(1, 'i') += std::to_string(target.index);
  }
}

binding_range full_range(const binding_target& target) {
  switch (target.kind) {
    case control_kind::r1:
    case control_kind::r2:
    case control_kind::k:
      return {rule_scale_lowest * rule_scale_unit, rule_scale_highest * rule_scale_unit};
    case control_kind::grid_x:
    case control_kind::grid_y: return {0.0, static_cast<double>(max_grid)};
    case control_kind::state_position:
      return {position_hertz(slider_span.lowest), position_hertz(slider_span.highest)};
    case control_kind::instrument:
      return {position_amplitude(slider_span.lowest), position_amplitude(slider_span.highest)};
    default: {
      const char* key = grain_keys[target.index];
      int choices = 0;
      grain_choices(key, choices);
      if (choices > 0) return {0.0, static_cast<double>(choices - 1)};
      if (std::string_view(key) == "overlap") return {1.0, double{grain_design::max_overlap}};
      return {0.0, 1.0};
    }
  }
}

bool logarithmic(const binding_target& target) {
  return target.kind == control_kind::r1 || target.kind == control_kind::r2 ||
         target.kind == control_kind::k || target.kind == control_kind::state_position;
}

binding_range learned_range(const binding_target& target, double current) {
  const binding_range whole = full_range(target);
  double factor = 0.0;  // the span either way, as a ratio
  if (target.kind == control_kind::state_position) factor = 2.0;  // an octave
  if (logarithmic(target) && target.kind != control_kind::state_position) factor = 4.0;
  if (factor == 0.0 || !within(current, whole)) return whole;
  return {std::max(current / factor, whole.low), std::min(current * factor, whole.high)};
}

control_change target_change(const binding& b, double travel) {
  const binding_range range = b.range.value_or(full_range(b.target));
  const double value = value_at(b.target, range, std::clamp(travel, 0.0, 1.0));
  control_change change{b.target.kind, b.target.index, value, ""};
  switch (b.target.kind) {
    case control_kind::grid_x:
    case control_kind::grid_y: change.value = std::round(value); break;
    case control_kind::state_position: change.value = hertz_position(value); break;
    case control_kind::grain: change.value = grain_value(grain_keys[b.target.index], value); break;
    default: break;
  }
  return change;
}

std::string binding_line(const binding& b) {
  std::string line = std::to_string(b.channel) + " " + std::to_string(b.controller) + " " +
                     target_name(b.target);
  if (b.range) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, " %.7g %.7g", b.range->low, b.range->high);
    line += numbers;
  }
  return line;
}

const binding* binding_table::find(int channel, int controller) const {
  const auto it = std::find_if(bindings_.begin(), bindings_.end(), [&](const binding& b) {
    return b.channel == channel && b.controller == controller;
  });
  return it == bindings_.end() ? nullptr : &*it;
}

std::optional<control_change> binding_table::change_for(int channel, int controller, int value) {
  if (channel < 1 || channel > 16 || value < 0 || value > controller_top) return std::nullopt;
  const int ch = channel - 1;
  if (const binding* b = find(channel, controller)) {
    if (controller >= pairs) return target_change(*b, value / double{controller_top});
    coarse_[ch][controller] = value;
    if (!fine_[ch][controller]) return target_change(*b, value / double{controller_top});
    return target_change(*b, value * 128 / 16383.0);
  }
  const int first = controller - pairs;
  if (first < 0 || first >= pairs) return std::nullopt;
  const binding* b = find(channel, first);
  if (!b) return std::nullopt;
  fine_[ch][first] = true;
  return target_change(*b, (coarse_[ch][first] * 128 + value) / 16383.0);
}

void binding_table::unbind(const binding_target& target) {
  std::erase_if(bindings_, [&](const binding& old) { return old.target == target; });
}

void binding_table::bind(const binding& b) {
  std::erase_if(bindings_, [&](const binding& old) {
    return old.target == b.target || (old.channel == b.channel && old.controller == b.controller);
  });
  bindings_.push_back(b);
}

std::string default_bindings_path() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string folder;
  if (config && *config == '/') {
    folder = config;
  } else {
    const char* home = std::getenv("HOME");
    folder = std::string(home ? home : ".") + "/.config";
  }
  return folder + "/zelmora/bindings";
}

bool read_bindings(const std::string& path, binding_table& table) {
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return true;
  const file_ptr fp = open_for_reading(path);
  if (!fp) {
    control_log("can't read the MIDI bindings %s", path.c_str());
    return false;
  }
  binding_table read;
  std::string line;
  int number = 0;
  for (int c = 0; c != EOF;) {
    line.clear();
    while ((c = std::fgetc(fp.get())) != EOF && c != '\n')
      if (line.size() < 256) line += static_cast<char>(c);
    ++number;
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string channel, controller, name, low, high, extra;
    fields >> channel >> controller >> name >> low >> high >> extra;
    binding b;
    const auto target = parse_target(name);
    bool well_formed = whole_number(channel, 1, 16, b.channel) &&
                       whole_number(controller, 0, controller_top, b.controller) && target &&
                       low.empty() == high.empty() && extra.empty();
    if (well_formed && !low.empty()) {
      bool low_ok = false, high_ok = false;
      const binding_range range{number_of(low, low_ok), number_of(high, high_ok)};
      const binding_range whole = full_range(*target);
      well_formed = low_ok && high_ok && range.low != range.high && within(range.low, whole) &&
                    within(range.high, whole);
      b.range = range;
    }
    if (!well_formed) {
      control_log("MIDI bindings %s refused: line %d is not \"channel controller control [low "
                  "high]\" with a low and high in the control's range: %s",
                  path.c_str(), number, line.c_str());
      return false;
    }
    b.target = *target;
    read.bind(b);
  }
  table = read;
  return true;
}

bool write_bindings(const std::string& path, const binding_table& table) {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, error);
  replacing_file file(path);
  bool ok = file.stream() != nullptr;
  if (ok) {
    std::fputs("# zelmora MIDI bindings: channel controller control [low high]\n", file.stream());
    for (const binding& b : table.all()) std::fprintf(file.stream(), "%s\n", binding_line(b).c_str());
    ok = file.commit();
  }
  if (!ok) control_log("can't write the MIDI bindings %s", path.c_str());
  return ok;
}
