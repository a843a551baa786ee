#include "engine/frames.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "engine/automaton.h"
#include "engine/iteration.h"
#include "engine/palette.h"
#include "engine/renamed_file.h"
#include "engine/report.h"
#include "files/output_target.h"

namespace {

constexpr int max_palette = 256;  // a colour-mapped PNG's limit

class frame_writer final : public iteration_sink {
 public:
  std::string directory;
  int every = 1;
  bool failed = false;

  void on_iteration(const iteration& it) override {
    if (it.number % every != 0) return;
    std::array<char, 16> name;
    std::snprintf(name.data(), name.size(), "/%06d.png", it.number);
    if (!write_grid_picture(directory + name.data(), it.grid(), it.x, it.y, it.Ns)) failed = true;
  }
};

frame_writer frames;

}  // namespace

bool write_grid_picture(const std::string& path, const grid_type& grid, int x, int y, int Ns) {
  x = clamp_extent(x);
  y = clamp_extent(y);
  const int colours = std::clamp(Ns, 1, max_palette);
  std::vector<png_byte> colour_map;
  for (int s = 0; s < colours; ++s) {
    const rgb_colour c = state_colour(s, colours);
    colour_map.insert(colour_map.end(), {c.red, c.green, c.blue});
  }
  std::vector<png_byte> pixels;
  pixels.reserve(static_cast<std::size_t>(x) * y);
  for (int r = 1; r <= x; ++r)
    for (int c = 1; c <= y; ++c)
      pixels.push_back(static_cast<png_byte>(std::clamp(grid[r][c], 0, colours - 1)));

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(y);
  image.height = static_cast<png_uint_32>(x);
  image.format = PNG_FORMAT_RGB_COLORMAP;
  image.colormap_entries = static_cast<png_uint_32>(colours);
  const bool ok = x > 0 && y > 0 && write_renamed_file(path, [&](std::FILE* fp) {
                    return png_image_write_to_stdio(&image, fp, 0, pixels.data(), y,
                                                    colour_map.data()) != 0;
                  });
  png_image_free(&image);
  if (!ok) report_error("Can't write frame %s\n", path.c_str());
  return ok;
}

bool write_frames_to(const std::string& dir, int every) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (!std::filesystem::is_directory(dir, error) || !link_may_be_followed(dir)) {
    report_error("Can't make the frame directory %s\n", dir.c_str());
    return false;
  }
  frames.directory = dir;
  frames.every = every < 1 ? 1 : every;
  frames.failed = false;
  add_iteration_sink(frames);
  return true;
}

void stop_frames() { remove_iteration_sink(frames); }

bool frame_failed() { return frames.failed; }
