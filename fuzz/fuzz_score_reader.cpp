// The score reader of the grain voices' opcode: any text is read without a
// crash, and every note it gives is one the voices can take: an instrument
// 1..100, finite numbers, starts that never go back.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "dsp/score_reader.h"
#include "engine/types.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text.push_back('\0');  // fmemopen refuses a size of 0
  score_reader reader(::fmemopen(text.data(), size == 0 ? 1 : size, "r"));  // owns the stream
  double last = 0.0;
  int notes = 0;
  for (const note* n = reader.peek(); n; n = reader.peek(), ++notes) {
    fuzz::require(n->instrument >= 1 && n->instrument <= max_instruments, "an instrument 1..100");
    fuzz::require(std::isfinite(n->start) && std::isfinite(n->duration) &&
                      std::isfinite(n->amplitude) && std::isfinite(n->frequency),
                  "finite numbers");
    fuzz::require(n->start >= last, "starts never go back");
    last = n->start;
    reader.pop();
  }
  // Each line is at most one note, one skipped line or one refusal.
  const auto lines = std::count(text.begin(), text.end() - 1, '\n') + 1;
  fuzz::require(notes + reader.skipped_lines() + reader.refused_notes() <= lines &&
                    reader.raised_starts() <= notes + reader.refused_notes(),
                "counts within the lines read");
  fuzz::require((reader.skipped_lines() > 0) == (reader.first_skipped_line() > 0), "first skipped");
  fuzz::require((reader.refused_notes() > 0) == (*reader.first_refusal() != '\0') &&
                    (reader.refused_notes() > 0) == (reader.first_refused_line() > 0),
                "the first refusal is named");
  return 0;
}
