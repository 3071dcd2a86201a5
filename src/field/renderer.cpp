#include "field/renderer.h"

#include <cstdlib>

#include "field/points.h"
#include "field/projection.h"
#include "show/assets.h"
#include "show/drawing.h"

// Index ranges of the groups, each drawn its own way.
static constexpr int near_twinkling_end = 10;
static constexpr int near_dark_end = 50;
static constexpr int near_end = near_capacity;
static constexpr int far_bright_end = 8;
static constexpr int far_flat_end = 80;
static constexpr int far_drawn_end = 180;

// One value in this many makes a twinkling point flare up for a frame.
static constexpr int near_flare_odds = 1200;
static constexpr int far_bright_flare_odds = 1160;
static constexpr int far_flare_odds = 2220;

static constexpr int depth_per_sprite = 50;
static_assert(field_points_drawn == near_end + far_drawn_end);

// Where this call's squares go; a scratch record when the caller wants none.
static field_squares scratch_squares;
static field_squares *squares;
static int square_count;

static void note_square(int x, int y, int size)
{
  squares->x[square_count] = x;
  squares->y[square_count] = y;
  squares->size[square_count] = size;
  square_count++;
}

// A pixel stands at the centre of the 21x21 cell its sprite would fill.
static void put_point(BITMAP *target, int colour)
{
  putpixel(target, proj_x + 10, proj_y + 10, colour);
  note_square(proj_x + 10, proj_y + 10, 1);
}

static void put_sprite(BITMAP *target, int k)
{
  draw_sprite_fast(target, star_sprites[k], proj_x, proj_y);
  note_square(proj_x, proj_y, star_sprite_size);
}

void draw_field(BITMAP *target, field_squares *drawn)
{
  const view_turn turn = current_view_turn();
  squares = drawn ? drawn : &scratch_squares;
  square_count = 0;

  // A value is taken for every twinkling point, seen or clipped.
  for (int i = 0; i < near_twinkling_end; i++) {
    project_turned(turn, near_points.x[i], near_points.y[i], near_points.z[i]);
    const bool flare = std::rand() % near_flare_odds == 0;
    put_point(target, flare ? point_colour_light : point_colour_dark);
  }
  for (int i = near_twinkling_end; i < near_end; i++) {
    project_turned(turn, near_points.x[i], near_points.y[i], near_points.z[i]);
    put_point(target, i < near_dark_end ? point_colour_dark : point_colour_light);
  }
  for (int i = 0; i < far_flat_end; i++) {
    project_turned(turn, far_points.x[i], far_points.y[i], far_points.z[i]);
    const int r = std::rand();
    if (i < far_bright_end)
      put_sprite(target, r % far_bright_flare_odds == 0 ? 2 : 1);
    else
      put_sprite(target, r % far_flare_odds == 0 ? 1 : 0);
  }
  // Nearer stars get the bigger sprites; beyond the last sprite's band they
  // fade to a light, then a dark pixel.
  for (int i = far_flat_end; i < far_drawn_end; i++) {
    project_turned(turn, far_points.x[i], far_points.y[i], far_points.z[i]);
    int k = star_sprite_count - proj_depth / depth_per_sprite;
    if (k >= star_sprite_count)
      k = star_sprite_count - 1;
    if (k >= 0)
      put_sprite(target, k);
    else
      put_point(target, k > -5 ? point_colour_light : point_colour_dark);
  }
}
