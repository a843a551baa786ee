#include "engine/render/frames.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "engine/automaton/automaton.h"
#include "engine/automaton/compact_grid.h"
#include "engine/engine.h"
#include "engine/render/iteration.h"
#include "engine/render/palette.h"
#include "platform/renamed_file.h"
#include "engine/report.h"
#include "platform/output_target.h"

namespace {

constexpr int max_palette = 256;  // a colour-mapped PNG's limit

// A picture a palette index a pixel, one colour per state.
struct picture {
  int colours = 1;
  std::vector<png_color> palette;
  std::vector<png_byte> pixels;  // rows of `width`
  int width = 0;
  int height = 0;
};

picture empty_picture(int x, int y, int Ns) {
  picture p;
  p.colours = std::clamp(Ns, 1, max_palette);
  for (int s = 0; s < p.colours; ++s) {
    const rgb_colour c = state_colour(s, p.colours);
    p.palette.push_back({c.red, c.green, c.blue});
  }
  p.width = y;
  p.height = x;
  p.pixels.resize(static_cast<std::size_t>(x) * y);
  return p;
}

// Only trivially destructible locals here: libpng's errors longjmp back.
// Huffman codes alone and no filters: a turbulent grid leaves little for
// string matching to find, and a frame of a million cells stays a few
// milliseconds.
bool encode(std::FILE* file, const picture& p, png_bytep* rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_compression_level(png, Z_BEST_SPEED);
  png_set_compression_strategy(png, Z_HUFFMAN_ONLY);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_IHDR(png, info, static_cast<png_uint_32>(p.width), static_cast<png_uint_32>(p.height),
               8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(png, info, p.palette.data(), p.colours);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool write_picture(const std::string& path, picture& p) {
  // A grid of no rows or columns (a set may hold one; the render says it
  // is silent) has nothing to draw, and PNG has no empty image: no frame,
  // and the render goes on.
  if (p.width == 0 || p.height == 0) return true;
  std::vector<png_bytep> rows;
  for (int r = 0; r < p.height; ++r)
    rows.push_back(p.pixels.data() + static_cast<std::size_t>(r) * p.width);
  const bool ok =
      write_renamed_file(path, [&](std::FILE* file) { return encode(file, p, rows.data()); });
  if (!ok) report_file_error("Can't write frame", path, errno);
  return ok;
}

}  // namespace

frame_writer::frame_writer(std::string directory, int every)
    : directory_(std::move(directory)), every_(every < 1 ? 1 : every) {}

void frame_writer::on_iteration(const iteration& it) {
  if (failed_ || it.number % every_ != 0) return;  // the render ends at the first
  std::array<char, 16> name;
  std::snprintf(name.data(), name.size(), "/%06d.png", it.number);
  const bool ok = it.bytes ? write_grid_picture(directory_ + name.data(), *it.bytes, it.Ns)
                           : write_grid_picture(directory_ + name.data(), it.grid(), it.x,
                                                it.y, it.Ns);
  if (!ok) failed_ = true;
}

bool write_grid_picture(const std::string& path, const grid_type& grid, int x, int y, int Ns) {
  picture p = empty_picture(clamp_extent(x), clamp_extent(y), Ns);
  png_byte* out = p.pixels.data();
  for (int r = 1; r <= p.height; ++r)
    for (int c = 1; c <= p.width; ++c) *out++ = static_cast<png_byte>(std::clamp(grid[r][c], 0, p.colours - 1));
  return write_picture(path, p);
}

bool write_grid_picture(const std::string& path, const compact_grid& grid, int Ns) {
  picture p = empty_picture(grid.x, grid.y, Ns);
  std::array<png_byte, 256> index;
  for (int v = 0; v < 256; ++v)
    index[v] = static_cast<png_byte>(std::clamp(v == big_cell ? grid.big : v, 0, p.colours - 1));
  png_byte* out = p.pixels.data();
  for (int r = 1; r <= p.height; ++r)
    out = std::transform(&grid.rows[r][1], &grid.rows[r][1] + p.width, out,
                         [&index](std::uint8_t v) { return index[v]; });
  return write_picture(path, p);
}

bool write_frames_to(engine& e, const std::string& dir, int every) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (!std::filesystem::is_directory(dir, error) || !link_may_be_followed(dir)) {
    report_error("Can't make the frame directory %s\n", dir.c_str());
    return false;
  }
  stop_frames(e);
  e.frames = std::make_unique<frame_writer>(dir, every);
  add_iteration_sink(e, *e.frames);
  return true;
}

void stop_frames(engine& e) {
  if (e.frames) remove_iteration_sink(e, *e.frames);
}

bool frame_failed(const engine& e) { return e.frames && e.frames->failed(); }

bool write_frames_to(const std::string& dir, int every) {
  return write_frames_to(default_engine(), dir, every);
}
void stop_frames() { stop_frames(default_engine()); }
bool frame_failed() { return frame_failed(default_engine()); }
