// One frame of the star field.
#pragma once

#include <allegro.h>

// The squares one draw_field call may have drawn in, before clipping: a
// star's 21x21 sprite cell, or a point's single pixel (size 1).
constexpr int field_points_drawn = 280;
struct field_squares {
  int x[field_points_drawn];
  int y[field_points_drawn];
  int size[field_points_drawn];
};

// Draws the field into target under the current view angles, without
// clearing it. Takes exactly 90 values from rand(). When drawn is given,
// it receives every square the field drew in.
void draw_field(BITMAP *target, field_squares *drawn = nullptr);
