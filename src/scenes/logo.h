#pragma once

#include <allegro.h>

#include <cstdint>

// Shrinks and fades the logo over a still field frame for 321 frames or
// until Escape; leaves that field frame in background_page. Both flip pages
// must hold the same picture when it starts, as start-up leaves them black.
void logo_scene();

// The scene's counters, carried from one frame to the next; all 0 before
// the first frame.
struct logo_motion {
  int32_t logo_frame;
  int32_t step_toggle;
  float squash_angle;
  int32_t squash;
  float fade_phase;
};

// The scene's three logo-sized scratch bitmaps: the field under the logo
// area, the squashed and faded logo, and the two put together.
struct logo_scratch {
  BITMAP *backdrop;
  BITMAP *layer;
  BITMAP *composite;
};

// Advances m by one frame, composes that frame on the back page and shows it.
// The page must hold the field frame saved in background_page around the
// logo's area: the area is all a frame draws.
void run_logo_frame(logo_motion &m, const logo_scratch &scratch, int black);
