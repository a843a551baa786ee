// Picture frames: which iterations get one, and each pixel is its cell's
// state in the palette.
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "engine/palette.h"
#include "engine/render.h"
#include "engine/view.h"
#include "live_support.h"

namespace {

using frames = live_test;

grid_type shown;  // the grid of iteration 7

TEST_F(frames, EveryNthIterationIsItsGridCellByCell) {
  ASSERT_EQ(run_render("--params " + example("spirals.csp") +
                       " --iterations 15 --every 7 --frames pictures --score s.sco"),
            0) << err;
  std::set<std::string> names;
  for (const auto& f : std::filesystem::directory_iterator("pictures"))
    names.insert(f.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"000000.png", "000007.png", "000014.png"}));

  // The same render in-process (the same score): a fresh program's random sequence.
  const file_ptr fp = open_for_reading(example("spirals.csp"));
  ASSERT_TRUE(fp && read_parameters(fp.get(), Current_State) == 0);
  Current_State.iter = 15;
  View.show_grid = [](const grid_type& grid, int t) {
    if (t == 7) shown = current_grid(grid);
  };
  std::srand(1);
  ASSERT_EQ(play_ca(std::fopen("again.sco", "w")), render_complete);
  View.show_grid = nullptr;
  ASSERT_EQ(test_support::slurp("again.sco"), test_support::slurp("s.sco"));

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_NE(png_image_begin_read_from_file(&image, "pictures/000007.png"), 0);
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_NE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr), 0);
  const int width = static_cast<int>(image.width), height = static_cast<int>(image.height);
  ASSERT_EQ(width, Current_State.y);
  ASSERT_EQ(height, Current_State.x);
  int wrong = 0;
  std::set<int> states;
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c) {
      const int state = shown[r + 1][c + 1];
      states.insert(state);
      const png_byte* p = &rgb[3 * (static_cast<std::size_t>(r) * width + c)];
      wrong += !(rgb_colour{p[0], p[1], p[2]} == state_colour(state, Current_State.Ns));
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(states.size(), 20u);  // a living grid, not one colour
}

}  // namespace
