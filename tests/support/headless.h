// A stand-in display for tests: the library without a graphics driver,
// a fake driver that reports the screen size, and a memory bitmap as the
// screen. Pages are memory bitmaps copied to it, as on X11, without pacing.
#pragma once

#include <allegro.h>

// Starts the library in 16-bit colour with a w x h memory screen.
void start_headless(int w = 1024, int h = 768);

// Creates the five pages as start_display does, all black.
void create_headless_pages();

// A w x h memory bitmap filled with colour.
BITMAP *filled_bitmap(int w, int h, int colour);

// True when a and b have the same size and pixels.
bool same_pixels(BITMAP *a, BITMAP *b);
