#include "engine/csound/csound_command.h"

#include <string_view>

#include "engine/csound/sound_format.h"
#include "platform/temporary_file.h"

namespace {

constexpr std::string_view shell_safe_punctuation = "._-+/,:@%=";

bool shell_safe(char c) {
  const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  return alnum || shell_safe_punctuation.find(c) != std::string_view::npos;
}

}  // namespace

std::vector<std::string> csound_command::words() const {
  std::vector<std::string> all{"csound"};
  all.insert(all.end(), options.begin(), options.end());
  all.insert(all.end(), files.begin(), files.end());
  return all;
}

std::string csound_command::text() const {
  std::string line;
  for (const std::string& word : words()) {
    if (!line.empty()) line += ' ';
    line += shell_word(word);
  }
  return line;
}

std::string opcode_lib_option(const std::string& plugin) { return "--opcode-lib=" + plugin; }

csound_command output_command(std::vector<std::string> options, const std::string& output,
                              const std::string& orchestra, const std::string& score) {
  options.insert(options.end(), {"-o", as_file_name(output)});
  return {std::move(options), {as_file_name(orchestra), as_file_name(score)}};
}

csound_command play_command(const std::string& score) {
  return {{"-o", "devaudio"}, {as_file_name(orchestra_path()), as_file_name(score)}};
}

csound_command sound_file_command(const std::string& name, const std::string& score) {
  // Headerless samples (-s -h) are dithered by the orchestra (ZELMORA_16BIT);
  // files with a header get 24-bit samples.
  std::vector<std::string> options = sound_format_options(name);
  if (options.empty()) options = {"-s", "-h", "--omacro:ZELMORA_16BIT=1"};
  options.insert(options.begin(), "-g");
  return output_command(std::move(options), name, orchestra_path(), score);
}

std::string shell_word(const std::string& word) {
  bool safe = !word.empty();  // an empty name must still be one word
  for (const char c : word) safe = safe && shell_safe(c);
  if (safe) return word;
  std::string quoted = "'";
  for (const char c : word) {
    if (c == '\'')
      quoted += "'\\''";  // close, an escaped quote, reopen
    else
      quoted += c;
  }
  return quoted + "'";
}

std::string as_file_name(const std::string& path) { return absolute_path(path); }
