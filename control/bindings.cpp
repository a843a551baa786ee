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
// A state's or instrument's slider.
constexpr int slider_top = static_cast<int>(slider_span.highest);

bool whole_number(const std::string& text, int low, int high, int& value) {
  if (text.empty() || text.size() > 9) return false;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  value = std::stoi(text);
  return value >= low && value <= high;
}

// A controller value spread evenly over low ... high, whole steps.
int spread(int value, int low, int high) {
  return low + static_cast<int>(std::lround(static_cast<double>(value) * (high - low) / controller_top));
}

// A controller over a grain key: its choices or overlaps in even steps, a
// 0 ... 1 key in thousandths.
double grain_spread(const char* key, int value) {
  int choices = 0;
  grain_choices(key, choices);
  if (choices > 0) return spread(value, 0, choices - 1);
  if (std::string_view(key) == "overlap") return spread(value, 1, grain_design::max_overlap);
  return spread(value, 0, 1000) / 1000.0;
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

control_change target_change(const binding_target& target, int value) {
  control_change change{target.kind, target.index, 0.0, ""};
  switch (target.kind) {
    case control_kind::r1:
    case control_kind::r2:
    case control_kind::k:
      change.value = spread(value, rule_scale_lowest, rule_scale_highest) * rule_scale_unit;
      break;
    case control_kind::grid_x:
    case control_kind::grid_y:
      change.value = spread(value, 0, max_grid);
      break;
    case control_kind::instrument:  // the slider's position, as a score amplitude
      change.value = position_amplitude(spread(value, 0, slider_top));
      break;
    case control_kind::grain: change.value = grain_spread(grain_keys[target.index], value); break;
    default:
      change.value = spread(value, 0, slider_top);
      break;
  }
  return change;
}

const binding* binding_table::find(int channel, int controller) const {
  const auto it = std::find_if(bindings_.begin(), bindings_.end(), [&](const binding& b) {
    return b.channel == channel && b.controller == controller;
  });
  return it == bindings_.end() ? nullptr : &*it;
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
    std::string channel, controller, name, extra;
    fields >> channel >> controller >> name >> extra;
    binding b;
    const auto target = parse_target(name);
    if (!whole_number(channel, 1, 16, b.channel) ||
        !whole_number(controller, 0, controller_top, b.controller) || !target || !extra.empty()) {
      control_log("MIDI bindings %s refused: line %d is not \"channel controller control\": %s",
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
    std::fputs("# zelmora MIDI bindings: channel controller control\n", file.stream());
    for (const binding& b : table.all())
      std::fprintf(file.stream(), "%d %d %s\n", b.channel, b.controller,
                   target_name(b.target).c_str());
    ok = file.commit();
  }
  if (!ok) control_log("can't write the MIDI bindings %s", path.c_str());
  return ok;
}
