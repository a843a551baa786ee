#include "ui/settings.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "control/bindings.h"
#include "engine/report.h"
#include "platform/replacing_file.h"

namespace {

std::vector<std::string> setting_lines() {
  std::vector<std::string> lines;
  std::ifstream in(settings_path());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool is_setting(const std::string& line, const std::string& key) {
  return line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
         line[key.size()] == '=';
}

}  // namespace

std::string settings_path() {
  return (std::filesystem::path(default_bindings_path()).parent_path() / "settings").string();
}

std::string read_setting(const std::string& key, const std::string& fallback) {
  for (const std::string& line : setting_lines())
    if (is_setting(line, key)) return line.substr(key.size() + 1);
  return fallback;
}

bool write_setting(const std::string& key, const std::string& value) {
  std::vector<std::string> lines = setting_lines();
  std::erase_if(lines, [&](const std::string& line) { return is_setting(line, key); });
  lines.push_back(key + "=" + value);
  const std::string path = settings_path();
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  replacing_file file(path);
  bool written = file.stream() != nullptr;
  for (const std::string& line : lines)
    written = written && std::fprintf(file.stream(), "%s\n", line.c_str()) > 0;
  if (written && file.commit()) return true;
  report_error("Can't write the settings file %s: %s\n", path.c_str(), std::strerror(errno));
  return false;
}
