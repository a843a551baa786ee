#include "files/tuning_file.h"

#include <algorithm>
#include <cctype>

#include "files/readable_file.h"

namespace {

// The whole file, unless it cannot be read or is larger than any scale.
bool slurp_file(const std::string& path, std::string& text, std::string& error) {
  const file_ptr fp = open_for_reading(path);
  if (!fp) {
    error = "can't open " + path;
    return false;
  }
  text.resize(largest_tuning_file + 1);
  text.resize(std::fread(text.data(), 1, text.size(), fp.get()));
  if (std::ferror(fp.get()) != 0) {
    error = "can't read " + path;
    return false;
  }
  if (text.size() > largest_tuning_file) {
    error = path + " is larger than any scale file (1 MiB)";
    return false;
  }
  return true;
}

template <typename Result>
bool read_with(const std::string& path, Result& result, std::string& error,
               bool (*parse)(std::string_view, Result&, tuning_error&)) {
  std::string text;
  if (!slurp_file(path, text, error)) return false;
  tuning_error refusal;
  if (parse(text, result, refusal)) return true;
  error = path + ":" + std::to_string(refusal.line) + ": " + refusal.what;
  return false;
}

bool ends_with(const std::string& path, const char* ending) {
  const std::string e = ending;
  return path.size() > e.size() &&
         std::equal(e.rbegin(), e.rend(), path.rbegin(), [](char a, char b) {
           return a == std::tolower(static_cast<unsigned char>(b));
         });
}

}  // namespace

bool read_scale_file(const std::string& path, scala_scale& scale, std::string& error) {
  return read_with(path, scale, error, parse_scala_scale);
}

bool read_map_file(const std::string& path, keyboard_map& map, std::string& error) {
  return read_with(path, map, error, parse_keyboard_map);
}

bool read_tuning_file(const std::string& path, tuning_source& source, std::string& error) {
  if (ends_with(path, ".scl")) {
    scala_scale scale;
    if (!read_scale_file(path, scale, error)) return false;
    source.scale = std::move(scale);
    return true;
  }
  if (ends_with(path, ".kbm")) {
    keyboard_map map;
    if (!read_map_file(path, map, error)) return false;
    source.map = std::move(map);
    return true;
  }
  error = path + " is neither a Scala scale (.scl) nor a keyboard mapping (.kbm)";
  return false;
}
