// One frame of the star field.
#pragma once

#include <allegro.h>

// Draws the field into target under the current view angles, without
// clearing it. Takes exactly 90 values from rand().
void draw_field(BITMAP *target);
