// Pictures of the automaton: one PNG per chosen iteration, one pixel per
// cell (x rows, y columns), coloured by palette.h.
#pragma once

#include <string>

#include "engine/types.h"

// Writes rows 1..x, columns 1..y of `grid` to `path`: an 8-bit palette PNG,
// compressed for speed. False (reported) when the file cannot be written.
bool write_grid_picture(const std::string& path, const grid_type& grid, int x, int y, int Ns);
// The same from a byte grid's extent.
struct compact_grid;
bool write_grid_picture(const std::string& path, const compact_grid& grid, int Ns);

// From now on every render writes DIR/NNNNNN.png for iterations 0, every,
// 2 * every, ... (the grid that iteration's notes come from). Creates DIR
// when it is missing; false (reported) when it cannot.
bool write_frames_to(const std::string& dir, int every);

// Renders write no frames from now on.
void stop_frames();

// True when a frame could not be written since write_frames_to(): said
// once, and the render ends there (play_ca() abandons it).
bool frame_failed();
