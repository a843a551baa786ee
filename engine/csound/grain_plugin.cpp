#include "engine/csound/grain_plugin.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/temporary_file.h"
#include "engine/externs.h"
#include "engine/report.h"
#include "dsp/score_reader.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* plugin_variable = "ZELMORA_PLUGIN";
constexpr const char* driver_name = "zelmora-driver.sco";
constexpr const char* notes_link_name = "zelmora-notes.sco";
// How long csound may run past the last note's start should the opcode
// never end it: longer than any note's tail.
constexpr double driver_margin = 60.0;


std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The start of the score's last note, read from its end: the bound of the
// small score csound gets. Negative when there is none.
double last_start(const std::string& score) {
  constexpr long tail = 512;
  std::FILE* fp = std::fopen(score.c_str(), "rb");
  if (!fp) return -1.0;
  if (std::fseek(fp, -tail, SEEK_END) != 0) std::rewind(fp);
  score_reader reader(fp);
  double start = -1.0;
  for (const note* n = reader.peek(); n; n = reader.peek()) {
    start = n->start;
    reader.pop();
  }
  return start;
}

// The score's tables (its f statements before the first note), which
// csound makes for the voices that read table 1.
std::string score_tables(const std::string& score) {
  constexpr std::size_t most = 64 * 1024;
  std::ifstream in(score, std::ios::binary);
  std::string tables, line;
  while (std::getline(in, line) && tables.size() < most) {
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == ';') continue;
    if (line[first] != 'f') break;
    tables += line.substr(first) + "\n";
  }
  return tables;
}

// csound's own score: the score's tables and the time it may run, which
// the opcode ends once the notes have played out.
bool write_driver(const std::string& path, const std::string& score) {
  const double last = last_start(score);
  std::FILE* fp = std::fopen(path.c_str(), "w");
  if (!fp) return false;
  std::fputs(score_tables(score).c_str(), fp);
  if (last < 0.0)
    std::fputs("f0 z\n", fp);
  else
    std::fprintf(fp, "f0 %.6f\n", last + driver_margin);
  return std::fclose(fp) == 0;
}

}  // namespace

file_location find_grain_plugin() {
  if (const char* named = std::getenv(plugin_variable); named && *named)
    return {named, is_regular_file_at(named)};
  if (const fs::path installed = installed_file(ZELMORA_PLUGIN_FROM_BIN, grain_plugin_name);
      is_regular_file_at(installed))
    return {installed.string(), true};
  return {ZELMORA_BUILD_PLUGIN, is_regular_file_at(ZELMORA_BUILD_PLUGIN)};
}

bool uses_grain_opcode(std::string_view orchestra) {
  std::size_t start = 0;
  while (start < orchestra.size()) {
    std::size_t end = orchestra.find('\n', start);
    if (end == std::string_view::npos) end = orchestra.size();
    std::string_view line = orchestra.substr(start, end - start);
    line = line.substr(0, line.find(';'));
    for (const char* opcode : {grain_opcode_name, grain_master_opcode_name})
      if (line.find(opcode) != std::string_view::npos) return true;
    start = end + 1;
  }
  return false;
}

csound_command with_grain_plugin(const csound_command& command, private_directory& workspace) {
  if (command.files.size() != 2 || workspace.path().empty()) return command;
  const std::string& orchestra = command.files.front();
  const std::string& score = command.files.back();
  if (!uses_grain_opcode(file_text(orchestra))) return command;
  const file_location plugin = find_grain_plugin();
  if (!plugin.found) {
    report_error("Can't find zelmora's csound plugin %s, which the orchestra %s needs; %s can "
                 "name it\n",
                 plugin.path.c_str(), orchestra.c_str(), plugin_variable);
    return command;
  }
  const std::string driver = workspace.path() + "/" + driver_name;
  const std::string link = workspace.path() + "/" + notes_link_name;
  const interrupt_guard guard;  // no signal between making and registering
  workspace.hold(driver);
  workspace.hold(link);
  std::error_code error;
  fs::create_symlink(fs::absolute(score, error), link, error);
  if (error || !write_driver(driver, score)) return command;
  csound_command changed{{opcode_lib_option(plugin.path),
                          std::string("--omacro:") + grain_notes_macro + "=" + notes_link_name},
                         {orchestra, driver}};
  // The grain design, only when it is not the voices' own.
  if (const std::string design = grain_text(Grain_Design, ','); !design.empty())
    changed.options.push_back(std::string("--omacro:") + grain_design_macro + "=" + design);
  changed.options.insert(changed.options.end(), command.options.begin(), command.options.end());
  return changed;
}
