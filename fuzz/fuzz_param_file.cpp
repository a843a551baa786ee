// The parameter reader: a refused text leaves the set as it was; an
// accepted set passes the range check, is written as text that reads back
// to the same set, and that text is accepted again.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::quiet_start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input = fuzz::text_of(data, size);
  std::FILE* in = fuzz::stream_of(input);
  const parameters_type before = Current_State;
  parameters_type p = before;
  const int status = read_parameters(in, p);
  std::fclose(in);
  if (status < 0) {
    fuzz::require(p == before, "a refused set changed nothing");
    return 0;
  }
  fuzz::require(check_parameters(p) == 0, "an accepted set is in range");
  const std::string text = fuzz::written_set(p);
  parameters_type again = before;
  std::FILE* back = ::fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  fuzz::require(read_parameters(back, again) == 0, "a written set is accepted");
  std::fclose(back);
  fuzz::require(fuzz::same_text(text, fuzz::written_set(again)), "read, write, read: same set");
  return 0;
}
