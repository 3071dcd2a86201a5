// The free-flight loop: the endless, steerable star field that ends the show.
#pragma once

#include <allegro.h>

extern bool overlay_on;
// Drawn at (9, 28) while the overlay is on: the keys of free flight, from
// dat/overlay.tga; NULL without that file, and the overlay draws nothing.
extern BITMAP *overlay_sprite;

constexpr char screenshot_name[] = "qirboSho.pcx";

// Runs frames until Space or Escape is held at the end of one.
void free_flight_loop();

// One frame of the loop; false when Space or Escape ends the show.
// `flight_frame` is the loop's frame counter, advanced here.
bool run_flight_frame(int &flight_frame);

// The next frame on each flip page clears it whole. Needed whenever
// something other than run_flight_frame has drawn on the pages.
void forget_flight_pages();

// Turns roll_angle by this frame's step of the roll's ramp.
void advance_roll(int flight_frame);

// Writes the visible screen to "qirboSho.pcx", replacing the old file only
// when the new one was written whole.
void save_screenshot();
