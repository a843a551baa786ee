// The MIDI bindings file: any text is read or refused whole; a refused one
// leaves the table as it was, an accepted one is written and read back the
// same.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "control/bindings.h"
#include "fuzz_support.h"

namespace {

std::string file_of(const std::string& text) {
  static const std::string path = "/tmp/zelmora-fuzz-bindings-" + std::to_string(::getpid());
  std::FILE* fp = std::fopen(path.c_str(), "w");
  fuzz::require(fp != nullptr, "the scratch file opens");
  std::fwrite(text.data(), 1, text.size(), fp);
  std::fclose(fp);
  return path;
}

std::string names(const binding_table& table) {
  std::string all;
  for (const binding& b : table.all())
    all += std::to_string(b.channel) + " " + std::to_string(b.controller) + " " +
           target_name(b.target) + "\n";
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = file_of(std::string(reinterpret_cast<const char*>(data), size));
  binding_table table;
  table.bind({2, 3, *parse_target("k")});
  const std::string before = names(table);
  if (!read_bindings(path, table)) {
    fuzz::require(names(table) == before, "a refused file changes nothing");
    return 0;
  }
  fuzz::require(write_bindings(path, table), "an accepted table is written");
  binding_table back;
  fuzz::require(read_bindings(path, back) && names(back) == names(table), "read back the same");
  std::remove(path.c_str());
  return 0;
}
