#include "dsp/grain_design.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iterator>

namespace {

constexpr const char* wave_names[] = {"table", "sine", "triangle", "saw", "square"};
constexpr const char* window_names[] = {"chain", "gauss", "tukey", "expodec", "rexpodec"};
constexpr const char* limiter_names[] = {"off", "on"};

template <std::size_t N>
int index_of(const char* const (&names)[N], std::string_view name) {
  for (std::size_t i = 0; i < N; ++i)
    if (name == names[i]) return static_cast<int>(i);
  return -1;
}

std::optional<double> number_of(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

bool in_unit(double v) { return v >= 0 && v <= 1; }

}  // namespace

bool set_grain_number(grain_design& d, std::string_view key, double value) {
  if (!std::isfinite(value)) return false;
  const double unit = std::clamp(value, 0.0, 1.0);
  const int choice = static_cast<int>(std::lround(value));
  if (key == "wave" && choice >= 0 && choice < 5) d.wave = static_cast<grain_wave>(choice);
  else if (key == "window" && choice >= 0 && choice < 5) d.window = static_cast<grain_window>(choice);
  else if (key == "limiter" && (choice == 0 || choice == 1)) d.limiter = choice == 1;
  else if (key == "overlap") d.overlap = std::clamp(choice, 1, grain_design::max_overlap);
  else if (key == "jitter") d.jitter = unit;
  else if (key == "width") d.width = unit;
  else if (key == "space") d.space = unit;
  else return false;
  return true;
}

bool grain_number_ok(std::string_view key, double value) {
  int count = 0;
  grain_choices(key, count);
  const bool whole = value == std::floor(value);
  if (count > 0) return whole && value >= 0 && value < count;
  if (key == "overlap") return whole && value >= 1 && value <= grain_design::max_overlap;
  return in_unit(value);
}

double grain_number(const grain_design& d, std::string_view key) {
  if (key == "wave") return static_cast<double>(d.wave);
  if (key == "window") return static_cast<double>(d.window);
  if (key == "limiter") return d.limiter ? 1 : 0;
  if (key == "overlap") return d.overlap;
  if (key == "jitter") return d.jitter;
  if (key == "width") return d.width;
  if (key == "space") return d.space;
  return 0;
}

const char* const* grain_choices(std::string_view key, int& count) {
  count = 0;
  if (key == "wave") count = static_cast<int>(std::size(wave_names));
  if (key == "window") count = static_cast<int>(std::size(window_names));
  if (key == "limiter") count = static_cast<int>(std::size(limiter_names));
  return key == "wave" ? wave_names : key == "window" ? window_names
                                    : key == "limiter" ? limiter_names : nullptr;
}

bool set_grain_key(grain_design& d, std::string_view key, std::string_view value) {
  int count = 0;
  if (const char* const* names = grain_choices(key, count)) {
    for (int i = 0; i < count; ++i)
      if (value == names[i]) return set_grain_number(d, key, i);
    return false;
  }
  const std::optional<double> v = number_of(value);
  return v && grain_number_ok(key, *v) && set_grain_number(d, key, *v);
}

std::optional<bool> set_grain_item(grain_design& d, std::string_view item) {
  const std::size_t equals = item.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const std::string_view key = item.substr(0, equals);
  if (std::find(std::begin(grain_keys), std::end(grain_keys), key) == std::end(grain_keys))
    return std::nullopt;
  return set_grain_key(d, key, item.substr(equals + 1));
}

std::string grain_value(const grain_design& d, std::string_view key) {
  int count = 0;
  if (const char* const* names = grain_choices(key, count))
    return names[static_cast<int>(grain_number(d, key))];
  char text[32];
  if (key == "overlap") std::snprintf(text, sizeof text, "%d", d.overlap);
  else std::snprintf(text, sizeof text, "%f", grain_number(d, key));
  return text;
}

std::string grain_text(const grain_design& d, char separator) {
  const grain_design defaults;
  std::string text;
  for (const char* key : grain_keys) {
    const std::string value = grain_value(d, key);
    if (value == grain_value(defaults, key)) continue;
    if (!text.empty()) text += separator;
    text += std::string(key) + "=" + value;
  }
  return text;
}

bool read_grain_text(grain_design& d, std::string_view text) {
  while (!text.empty()) {
    const std::size_t comma = std::min(text.find(','), text.size());
    if (set_grain_item(d, text.substr(0, comma)) != true) return false;
    text.remove_prefix(std::min(comma + 1, text.size()));
  }
  return true;
}
