// The parameter reader: a refused text leaves the set as it was; an
// accepted set passes the range check, is written as text that reads back
// to the same set, and that text is accepted again; as a file, its
// reduction and grain design too, the design also as the plugin's
// argument gets it.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::quiet_start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const parameters_type before = Current_State;
  parameters_type p = before;
  const int status = fuzz::read_set({reinterpret_cast<const char*>(data), size}, p);
  if (status < 0) {
    fuzz::require(p == before, "a refused set changed nothing");
    return 0;
  }
  fuzz::require(check_parameters(p) == 0, "an accepted set is in range");
  const std::string text = fuzz::written_set(p);
  parameters_type again = before;
  fuzz::require(fuzz::read_set(text, again) == 0, "a written set is accepted");
  fuzz::require(fuzz::same_text(text, fuzz::written_set(again)), "read, write, read: same set");
  // As a file, with the reduction its reduce= line names and its grain
  // lines; the design's numbers to the precision of "%f", as the set's.
  int mode = 0, mode_again = 0;
  grain_design grain, grain_again, argument;
  fuzz::read_text({reinterpret_cast<const char*>(data), size},
                  [&](std::FILE* fp) { return read_parameter_file(fp, again, mode, &grain); });
  const auto file_of = [](const parameters_type& set, int reduction, const grain_design& design) {
    return fuzz::text_of([&](std::FILE* fp) { write_parameter_file(fp, set, reduction, design); });
  };
  const std::string file = file_of(p, mode, grain);
  fuzz::read_text(file, [&](std::FILE* fp) {
    return read_parameter_file(fp, again, mode_again, &grain_again);
  });
  fuzz::require(mode_again == mode, "the reduction reads back");
  fuzz::require(fuzz::same_text(file, file_of(again, mode_again, grain_again)),
                "the file reads back, grain lines and all");
  const std::string design = grain_text(grain_again, ',');
  fuzz::require(read_grain_text(argument, design) && grain_text(argument, ',') == design,
                "the grain design reads back from the plugin's argument");
  return 0;
}
