// Writes the bundle's manifest.ttl and presets.ttl: the plugin, and every
// parameter set named on the command line as a preset of the same name,
// its state the text the plugin itself would save and its ports the
// set's values.
//   make_bundle_ttl BUNDLE_DIR BINARY SET.csp...
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>

#include "engine/externs.h"
#include "lv2/state_text.h"
#include "lv2/uris.h"

namespace {

constexpr const char* prefixes =
    "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix zelmora: <" ZELMORA_LV2_PREFIX "> .\n\n";

std::string quoted(const std::string& text) {
  std::string out = "\"\"\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"\"\"";
}

std::string number(double value) {
  std::array<char, 32> text{};
  std::snprintf(text.data(), text.size(), "%.9g", value);
  return text.data();
}

std::string preset_uri(const std::string& name) { return "zelmora:preset-" + name; }

std::string preset(const std::string& name, const parameter_text_set& set) {
  const std::pair<const char*, double> ports[] = {
      {"r1", set.params.r1},     {"r2", set.params.r2},     {"k", set.params.k},
      {"grid_x", set.params.x},  {"grid_y", set.params.y},  {"grain", set.params.dur},
      {"reduce", set.mean_mode != 0 ? 1 : 0}};
  std::ostringstream out;
  out << preset_uri(name) << "\n\ta pset:Preset ;\n\tlv2:appliesTo <" ZELMORA_LV2_URI "> ;\n"
      << "\trdfs:label \"" << name << "\" ;\n\tlv2:port";
  const char* separator = " ";
  for (const auto& [symbol, value] : ports) {
    out << separator << "[\n\t\tlv2:symbol \"" << symbol << "\" ;\n\t\tpset:value "
        << number(value) << "\n\t]";
    separator = " , ";
  }
  out << " ;\n\tstate:state [\n\t\tzelmora:parameters " << quoted(parameter_text(set))
      << " ;\n\t\tzelmora:events \"\"\n\t] .\n\n";
  return out.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: make_bundle_ttl BUNDLE_DIR BINARY [SET.csp...]\n", stderr);
    return 2;
  }
  silence_echo_lines();
  const std::filesystem::path bundle = argv[1];
  std::ostringstream manifest, presets;
  manifest << prefixes << "<" ZELMORA_LV2_URI ">\n\ta lv2:Plugin ;\n\tlv2:binary <" << argv[2]
           << "> ;\n\trdfs:seeAlso <zelmora.ttl> .\n\n";
  presets << prefixes;
  for (int a = 3; a < argc; ++a) {
    const std::filesystem::path path = argv[a];
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    parameter_text_set set;
    default_parameters(set.params);
    if (!in || !read_parameter_text(text, set)) {
      std::fprintf(stderr, "make_bundle_ttl: %s refused\n", argv[a]);
      return 1;
    }
    const std::string name = path.stem().string();
    manifest << preset_uri(name) << "\n\ta pset:Preset ;\n\tlv2:appliesTo <" ZELMORA_LV2_URI
             << "> ;\n\trdfs:seeAlso <presets.ttl> .\n\n";
    presets << preset(name, set);
  }
  std::ofstream manifest_file(bundle / "manifest.ttl", std::ios::binary);
  std::ofstream presets_file(bundle / "presets.ttl", std::ios::binary);
  manifest_file << manifest.str();
  presets_file << presets.str();
  if (manifest_file.flush() && presets_file.flush()) return 0;
  std::fprintf(stderr, "make_bundle_ttl: can't write into %s\n", argv[1]);
  return 1;
}
