// The MIDI bindings file: any text is read or refused whole; a refused one
// leaves the table as it was, an accepted one is written and read back the
// same.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "control/bindings.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = fuzz::scratch_directory() + "/bindings";
  fuzz::write_file(path, data, size);
  binding_table table;
  table.bind({2, 3, *parse_target("k")});
  const std::vector<binding> before = table.all();
  if (!read_bindings(path, table)) {
    fuzz::require(table.all() == before, "a refused file changes nothing");
    return 0;
  }
  fuzz::require(write_bindings(path, table), "an accepted table is written");
  binding_table back;
  fuzz::require(read_bindings(path, back) && back.all() == table.all(), "read back the same");
  return 0;
}
