// Pictures of the automaton: one PNG per chosen iteration, one pixel per
// cell (x rows, y columns), coloured by palette.h.
#pragma once

#include <string>

#include "engine/engine.h"
#include "engine/render/iteration.h"
#include "engine/types.h"

// Writes rows 1..x, columns 1..y of `grid` to `path`: an 8-bit palette PNG,
// compressed for speed. False (reported) when the file cannot be written.
bool write_grid_picture(const std::string& path, const grid_type& grid, int x, int y, int Ns);
// The same from a byte grid's extent.
struct compact_grid;
bool write_grid_picture(const std::string& path, const compact_grid& grid, int Ns);

// The sink that writes an engine's frames: DIR/NNNNNN.png for iterations
// 0, every, 2 * every, ... (the grid that iteration's notes come from).
class frame_writer final : public iteration_sink {
 public:
  frame_writer(std::string directory, int every);
  void on_iteration(const iteration& it) override;
  bool failed() const { return failed_; }  // a frame could not be written

 private:
  std::string directory_;
  int every_;
  bool failed_ = false;
};

// From now on every render of the engine writes its frames into DIR.
// Creates DIR when it is missing; false (reported) when it cannot.
// Without an engine: the default one.
bool write_frames_to(engine& e, const std::string& dir, int every);
bool write_frames_to(const std::string& dir, int every);

// Renders write no frames from now on.
void stop_frames(engine& e);
void stop_frames();

// True when a frame could not be written since write_frames_to(): said
// once, and the render ends there (it is abandoned).
bool frame_failed(const engine& e);
bool frame_failed();
