#include "engine/csound/sound_format.h"

#include <array>
#include <cctype>
#include <string_view>

namespace {

struct format {
  std::string_view extension, header;
};

// 24-bit samples under every header: room below the signal for its quietest
// voices and tails.
constexpr std::array<format, 6> formats{{{".wav", "-W"},
                                         {".au", "--format=au"},
                                         {".snd", "--format=au"},
                                         {".aif", "-A"},
                                         {".aiff", "-A"},
                                         {".flac", "--format=flac"}}};
constexpr const char* samples_24_bit = "-3";

bool ends_with_ignoring_case(const std::string& name, std::string_view end) {
  if (name.size() < end.size()) return false;
  for (std::size_t i = 0; i < end.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(name[name.size() - end.size() + i])) != end[i])
      return false;
  return true;
}

}  // namespace

std::vector<std::string> sound_format_options(const std::string& name) {
  for (const format& f : formats)
    if (ends_with_ignoring_case(name, f.extension)) return {std::string(f.header), samples_24_bit};
  return {};
}
