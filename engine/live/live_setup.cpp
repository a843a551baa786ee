#include "engine/live/live_setup.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "engine/csound/grain_plugin.h"
#include "engine/csound/orchestra.h"
#include "engine/csound/orchestra_file.h"
#include "engine/report.h"
#include "platform/temporary_file.h"

namespace {

// Called only once the table has loaded.
const csound_api& api() { return *live_csound_api(); }

// An orchestra of one channel: live play doubles it onto the second.
bool declares_mono(const std::string& orchestra) {
  static const std::regex header(R"(^\s*nchnls\s*=\s*1\s*(;.*)?$)", std::regex::multiline);
  return std::regex_search(orchestra, header);
}

// Runs after the orchestra's own instruments (named instruments come after
// the numbered ones, in the order defined) and scales everything they put
// out by the gain channel: Stop ramps it to 0 instead of cutting the sound.
std::string fade_instrument(bool mono) {
  std::string text =
      "chn_k \"zelmora_live_gain\", 1\n"
      "chnset 1, \"zelmora_live_gain\"\n"
      "instr zelmora_live_fade\n"
      "  kgain chnget \"zelmora_live_gain\"\n"
      "  kgain portk kgain, 0.005, 1\n"
      "  again interp kgain\n"
      "  a1, a2 monitor\n";
  // Channel 2 of a one-channel orchestra is silent until it gets channel 1.
  text += mono ? "  outch 1, -a1 * (1 - again), 2, a1 * again\n"
               : "  outch 1, -a1 * (1 - again), 2, -a2 * (1 - again)\n";
  return text + "endin\n";
}

std::string csd_text(const std::string& orchestra) {
  return "<CsoundSynthesizer>\n<CsInstruments>\n" + orchestra + "\n" +
         fade_instrument(declares_mono(orchestra)) + "</CsInstruments>\n<CsScore>\n" +
         score_header + "i \"zelmora_live_fade\" 0 -1\nf0 z\n</CsScore>\n</CsoundSynthesizer>\n";
}

// Both speakers sound; the host's samples come at its rate, a module opens
// the device at the orchestra's (some would report a rate of 1 Hz for a
// device without one).
std::vector<std::string> options_for(const live_output& output) {
  std::vector<std::string> words{"-d", "-m0", "-+msg_color=0", "--nchnls=2", "-odac"};
  if (!output.module.empty()) {
    words.push_back("-+rtaudio=" + output.module);
    return words;
  }
  words.emplace_back("-+rtaudio=null");
  words.push_back("--sample-rate=" + std::to_string(static_cast<long>(output.host_rate)));
  return words;
}

// The audio modules of a csound instance.
std::vector<std::string> modules_of(CSOUND* csound) {
  std::vector<std::string> names;
  char* name = nullptr;
  char* type = nullptr;
  for (int n = 0; api().get_module(csound, n, &name, &type) == CSOUND_SUCCESS; ++n)
    if (name && type && std::strcmp(type, "audio") == 0 && std::strcmp(name, "jack") != 0)
      names.emplace_back(name);
  return names;
}

// The plugin's opcodes, known before the orchestra compiles: csound loads
// every library of a directory, so it gets one holding only a link to it.
bool load_plugin(CSOUND* csound, const std::string& plugin) {
  if (plugin.empty()) return true;
  private_directory directory;
  if (directory.path().empty()) return false;
  const std::string link = directory.path() + "/" + grain_plugin_name;
  std::error_code error;
  std::filesystem::create_symlink(absolute_path(plugin), link, error);
  directory.hold(link);
  return !error && api().load_plugins(csound, directory.path().c_str()) == 0;
}

// The plugin an orchestra with the voices' opcode needs: empty for any
// other orchestra, none (said why) when it cannot be found.
std::optional<std::string> grain_plugin_for(const std::string& orchestra, const std::string& path,
                                            std::string& why) {
  if (!uses_grain_opcode(orchestra)) return "";
  const file_location plugin = find_grain_plugin();
  if (plugin.found) return plugin.path;
  why = "the orchestra " + path + " needs zelmora's csound plugin " + plugin.path +
        ", which is missing (ZELMORA_PLUGIN can name it)";
  return std::nullopt;
}

// The inbox the opcode finds by its name, made before csound compiles.
grain_inbox* make_inbox(CSOUND* csound) {
  if (api().create_global(csound, grain_inbox_name, sizeof(grain_inbox)) != CSOUND_SUCCESS)
    return nullptr;
  return std::construct_at(static_cast<grain_inbox*>(api().query_global(csound, grain_inbox_name)));
}

void ignore_message(CSOUND*, int, const char*, va_list) {}

// Whether the orchestra compiles at all, with no audio output.
bool orchestra_compiles(const std::string& orchestra, const std::string& plugin) {
  CSOUND* csound = api().create(nullptr);
  if (!csound) return false;
  api().set_message_callback(csound, ignore_message);
  api().set_option(csound, "-n");
  const bool compiled =
      load_plugin(csound, plugin) && api().compile_csd_text(csound, csd_text(orchestra).c_str()) == 0;
  api().destroy(csound);
  return compiled;
}

void destroy(live_session& s) {
  s.api.destroy(s.csound);
  s.csound = nullptr;
  s.inbox = nullptr;
}

// Not the device: said with csound's last words.
live_setup refused(live_session& s, std::string& why, const std::string& reason) {
  why = reason;
  const std::string said = s.messages.last_lines(3);
  if (!said.empty()) why += "\n" + said.substr(0, said.size() - 1);
  destroy(s);
  return live_setup::refused;
}

// The device: csound's last line says why, if anything.
live_setup no_device(live_session& s, std::string& why) {
  std::string said = s.messages.last_lines(1);
  while (!said.empty() && (said.back() == '\n' || said.back() == ' ')) said.pop_back();
  why = said.empty() ? "csound could not open it" : said;
  destroy(s);
  return live_setup::no_device;
}

// csound's own sample layout for a host: a period of interleaved frames.
bool host_layout_ok(live_session& s) {
  s.ksmps = static_cast<int>(s.api.ksmps(s.csound));
  s.channels = static_cast<int>(s.api.nchnls(s.csound));
  s.full_scale = s.api.full_scale(s.csound);
  return s.ksmps > 0 && s.channels >= 1 && s.full_scale > 0;
}

}  // namespace

live_setup set_up_csound(live_session& s, const live_settings& settings,
                         const live_output& output, std::string& why) {
  const std::string path = settings.orchestra.empty() ? orchestra_path() : settings.orchestra;
  const std::optional<std::string> orchestra = read_orchestra(path);  // reported
  if (!orchestra) return live_setup::refused;
  s.csound = s.api.create(&s.messages);
  if (!s.csound) {
    why = "csound could not be set up";
    return live_setup::refused;
  }
  s.api.set_message_callback(s.csound, live_messages::keep);
  const std::optional<std::string> plugin = grain_plugin_for(*orchestra, path, why);
  if (!plugin) return refused(s, why, why);
  if (!load_plugin(s.csound, *plugin)) return refused(s, why, "csound could not load " + *plugin);
  if (!plugin->empty()) s.inbox = make_inbox(s.csound);
  if (output.module.empty()) s.api.set_host_audio(s.csound, 1, 0);
  for (const std::string& option : options_for(output)) s.api.set_option(s.csound, option.c_str());
  if (s.api.compile_csd_text(s.csound, csd_text(*orchestra).c_str()) != 0)
    return refused(s, why, "csound refused the orchestra " + path);
  if (s.api.start(s.csound) != 0)
    return orchestra_compiles(*orchestra, *plugin)
               ? no_device(s, why)
               : refused(s, why, "csound refused the orchestra " + path);
  if (output.module.empty() && !host_layout_ok(s))
    return refused(s, why, "csound's output has no samples for the host");
  return live_setup::ready;
}

std::vector<std::string> csound_audio_modules() {
  if (!live_csound_api()) return {};
  CSOUND* csound = api().create(nullptr);
  if (!csound) return {};
  api().set_message_callback(csound, ignore_message);
  std::vector<std::string> modules = modules_of(csound);
  api().destroy(csound);
  return modules;
}
