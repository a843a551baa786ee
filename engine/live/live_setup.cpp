#include "engine/live/live_setup.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "engine/csound/csound_command.h"
#include "engine/csound/grain_plugin.h"
#include "engine/csound/orchestra.h"
#include "engine/csound/orchestra_file.h"
#include "engine/report.h"
#include "platform/interrupt.h"
#include "platform/temporary_file.h"

namespace {

// Called only once the table has loaded.
const csound_api& api() { return *live_csound_api(); }

std::string csd_text(const std::string& orchestra) {
  return "<CsoundSynthesizer>\n<CsInstruments>\n" + orchestra +
         "\n</CsInstruments>\n<CsScore>\n" + score_header + "f0 z\n</CsScore>\n</CsoundSynthesizer>\n";
}

// The audio modules of a csound instance.
std::vector<std::string> modules_of(CSOUND* csound) {
  std::vector<std::string> names;
  char* name = nullptr;
  char* type = nullptr;
  for (int n = 0; api().get_module(csound, n, &name, &type) == CSOUND_SUCCESS; ++n)
    if (name && type && std::strcmp(type, "audio") == 0) names.emplace_back(name);
  return names;
}

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
  return text;
}

// Refuses a module this csound lacks, naming the ones it has.
bool module_known(CSOUND* csound, const std::string& module) {
  if (module.empty()) return true;
  const std::vector<std::string> modules = modules_of(csound);
  if (std::find(modules.begin(), modules.end(), module) != modules.end()) return true;
  report_error("Live play: csound has no audio module \"%s\"; it has: %s\n", module.c_str(),
               joined(modules).c_str());
  return false;
}

// An orchestra of one channel: live play doubles it onto the second.
bool declares_mono(const std::string& orchestra) {
  static const std::regex header(R"(^\s*nchnls\s*=\s*1\s*(;.*)?$)",
                                 std::regex::multiline);
  return std::regex_search(orchestra, header);
}

// Runs after the orchestra's own instruments and scales everything they put
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

// csound's command line for live play: both speakers sound; a JACK server's
// rate is the one it runs at.
csound_command output_options(const live_settings& settings) {
  csound_command command{{"-d", "-m0", "-+msg_color=0", "--nchnls=2"}, {}};
  std::vector<std::string>& words = command.options;
  if (!settings.rtaudio.empty()) words.push_back("-+rtaudio=" + settings.rtaudio);
  // Other modules open the device at the orchestra's rate (some would
  // report a rate of 1 Hz for a device without one).
  if (settings.rtaudio != "jack") {
    words.emplace_back("-odac");
    return command;
  }
  words.emplace_back("--use-system-sr");
  words.push_back(std::string("-+jack_client=") + live_jack_client);
  words.push_back(std::string("-+jack_outportname=") + live_jack_port_prefix);
  // The ports of the first playback device, in their natural order.
  words.emplace_back(settings.connect ? "-odac:playback_" : "-odac:null");
  return command;
}

// Compiles the orchestra the way csound's own command line does: only that
// way does csound open a JACK device early enough to learn its rate before
// the orchestra's header is read, and load a plugin named on it. The
// orchestra goes through a private temporary file, removed at once.
bool compile_with_words(CSOUND* csound, csound_command command, const std::string& orchestra) {
  const temporary_file csd(temporary_directory(), "zelmora-live-", ".csd");
  if (!csd.ok()) return false;
  const std::string text = csd_text(orchestra);
  const bool written =
      ::write(csd.fd(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
  command.files = {csd.path()};
  const std::vector<std::string> words = command.words();
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());
  return written && api().compile_args(csound, static_cast<int>(argv.size()), argv.data()) == 0;
}

csound_command with_plugin(csound_command command, const std::string& plugin) {
  if (!plugin.empty()) command.options.push_back(opcode_lib_option(plugin));
  return command;
}

bool compile_orchestra(CSOUND* csound, const live_settings& settings,
                       const std::string& orchestra, const std::string& plugin) {
  return compile_with_words(csound, with_plugin(output_options(settings), plugin), orchestra);
}

void ignore_message(CSOUND*, int, const char*, va_list) {}

// Whether the orchestra compiles at all, with no audio output.
bool orchestra_compiles(const std::string& orchestra, const std::string& plugin) {
  CSOUND* csound = api().create(nullptr);
  if (!csound) return false;
  api().set_message_callback(csound, ignore_message);
  const bool compiled =
      compile_with_words(csound, with_plugin({{"-n", "-d", "-m0"}, {}}, plugin), orchestra);
  api().destroy(csound);
  return compiled;
}

// The plugin an orchestra with the voices' opcode needs: empty for any
// other orchestra, none (said why) when it cannot be found.
std::optional<std::string> grain_plugin_for(const std::string& orchestra, const std::string& path) {
  if (!uses_grain_opcode(orchestra)) return "";
  const file_location plugin = find_grain_plugin();
  if (plugin.found) return plugin.path;
  report_error("Live play failed: the orchestra %s needs zelmora's csound plugin %s, which is "
               "missing (ZELMORA_PLUGIN can name it)\n",
               path.c_str(), plugin.path.c_str());
  return std::nullopt;
}

// The inbox the opcode finds by its name, made before csound compiles.
grain_inbox* make_inbox(CSOUND* csound) {
  if (api().create_global(csound, grain_inbox_name, sizeof(grain_inbox)) != CSOUND_SUCCESS)
    return nullptr;
  return std::construct_at(static_cast<grain_inbox*>(api().query_global(csound, grain_inbox_name)));
}

bool failed_start(live_session& s, const char* what, const std::string& detail) {
  report_error("Live play failed: %s%s\n%s", what, detail.c_str(), s.messages.text().c_str());
  s.api.destroy(s.csound);
  s.csound = nullptr;
  return false;
}

bool given_up(live_session& s) {
  s.api.destroy(s.csound);
  s.csound = nullptr;
  return false;
}

std::string through(const live_settings& settings) {
  return settings.rtaudio.empty() ? "" : " through " + settings.rtaudio;
}

}  // namespace

bool set_up_csound(live_session& s, const live_settings& settings) {
  const std::string path = settings.orchestra.empty() ? orchestra_path() : settings.orchestra;
  const std::optional<std::string> orchestra = read_orchestra(path);
  if (!orchestra) return false;
  s.csound = s.api.create(&s.messages);
  if (!s.csound) {
    report_error("Live play failed: csound could not be set up\n");
    return false;
  }
  s.api.set_message_callback(s.csound, live_messages::keep);
  if (!module_known(s.csound, settings.rtaudio)) return given_up(s);
  const std::optional<std::string> found_plugin = grain_plugin_for(*orchestra, path);
  if (!found_plugin) return given_up(s);
  const std::string& plugin = *found_plugin;
  if (!plugin.empty()) s.inbox = make_inbox(s.csound);
  if (!compile_orchestra(s.csound, settings, *orchestra, plugin)) {
    // A device opened early for its rate fails the compile too.
    if (orchestra_compiles(*orchestra, plugin))
      return failed_start(s, "no audio output", through(settings));
    return failed_start(s, "csound refused the orchestra ", path);
  }
  if (s.api.start(s.csound) != 0) return failed_start(s, "no audio output", through(settings));
  if (s.api.compile_orc(s.csound, fade_instrument(declares_mono(*orchestra)).c_str()) != 0)
    return failed_start(s, "csound refused the fade instrument", "");
  s.api.input_message(s.csound, "i \"zelmora_live_fade\" 0 -1");
  return true;
}

std::string live_rtaudio_from_environment() {
  const char* module = std::getenv("ZELMORA_RTAUDIO");
  return module ? module : "";
}

std::vector<std::string> live_audio_modules() {
  if (!live_csound_api()) return {};
  live_messages messages;
  CSOUND* csound = api().create(&messages);
  if (!csound) return {};
  api().set_message_callback(csound, live_messages::keep);
  std::vector<std::string> modules = modules_of(csound);
  api().destroy(csound);
  return modules;
}
