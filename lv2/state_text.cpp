#include "lv2/state_text.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "engine/externs.h"
#include "events/event_list.h"
#include "files/event_file.h"
#include "files/param_file.h"

namespace {

struct file_closer {
  void operator()(std::FILE* fp) const { std::fclose(fp); }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;

// What `write` puts into a stream, as a string.
template <typename Write>
std::string written(Write write) {
  char* buffer = nullptr;
  std::size_t size = 0;
  {
    const file_handle fp(open_memstream(&buffer, &size));
    if (!fp) return {};
    write(fp.get());
  }
  std::string text(buffer ? buffer : "", size);
  std::free(buffer);
  return text;
}

// `text` as a stream to read; null for no text.
file_handle reading(std::string_view text) {
  if (text.empty()) return nullptr;
  return file_handle(fmemopen(const_cast<char*>(text.data()), text.size(), "r"));
}

}  // namespace

std::string parameter_text(const parameter_text_set& set) {
  return written([&](std::FILE* fp) {
    write_parameter_file(fp, set.params, set.mean_mode, set.grain);
  });
}

bool read_parameter_text(std::string_view text, parameter_text_set& set) {
  const file_handle fp = reading(text);
  if (!fp) return false;
  parameter_text_set read = set;
  if (read_parameter_file(fp.get(), read.params, read.mean_mode, &read.grain) < 0) return false;
  set = read;
  return true;
}

std::string event_text(const engine& e) {
  if (!e.events) return {};
  return written([&](std::FILE* fp) { write_event_list_of(fp, e); });
}

bool read_event_text(std::string_view text, engine& e) {
  if (text.empty()) {
    clear_event_list(e);
    return true;
  }
  const file_handle fp = reading(text);
  return fp && read_event_list_into(fp.get(), e) >= 0;
}

void silence_echo_lines() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (std::FILE* nowhere = std::fopen("/dev/null", "w")) Echo_Stream = nowhere;
  });
}
