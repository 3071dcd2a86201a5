// Three text panels rising and receding in perspective over the field.
#pragma once

#include <cstdint>

struct crawl_panel {
  int32_t shrink_phase;
  int32_t base_width;
  int32_t width;
  int32_t half_width;
  int32_t squashed_height;
  int32_t height;
  double y;
  double z;
};

extern crawl_panel crawl_panels[3];

// Runs 2651 iterations, or until Escape is held at the end of one.
void crawl_scene();

// The scene's entry: the still field in frame_canvas and backdrop_canvas,
// and the panels at their starting values.
void start_crawl();
// Iteration crawl_frame (from 1) after start_crawl and all earlier ones.
// The scene remembers what it left in frame_canvas, backdrop_canvas, the
// text images and the panels' bitmaps, and redoes only what changes: from
// start_crawl on, nothing else may draw in them.
void run_crawl_iteration(int crawl_frame);
