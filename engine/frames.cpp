#include "engine/frames.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "engine/automaton.h"
#include "engine/externs.h"
#include "engine/palette.h"
#include "engine/renamed_file.h"
#include "engine/report.h"
#include "engine/view.h"
#include "files/output_target.h"

namespace {

constexpr int max_palette = 256;  // a colour-mapped PNG's limit

std::string frame_directory;
int frame_every = 1;
bool failed = false;

void write_frame(const grid_type& grid, int iteration) {
  if (iteration % frame_every != 0) return;
  std::array<char, 16> name;
  std::snprintf(name.data(), name.size(), "/%06d.png", iteration);
  const parameters_type& p = Current_State;
  if (!write_grid_picture(frame_directory + name.data(), current_grid(grid), p.x, p.y, p.Ns)) failed = true;
}

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
  frame_directory = dir;
  frame_every = every < 1 ? 1 : every;
  failed = false;
  View.show_grid = write_frame;
  return true;
}

bool frame_failed() { return failed; }
