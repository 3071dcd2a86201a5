#include "field/points.h"

#include <cstdlib>

point_set<far_capacity> far_points;
point_set<near_capacity> near_points;

// The field's look is fixed by the order of the draws below, so each value
// is taken in its own statement.

static constexpr int spread_count = 300;     // far points placed in depth
static constexpr int flat_far_count = 80;    // far points then moved to depth 0
static constexpr int first_pushed = 181;     // lowest index the outward push reaches
static constexpr int32_t push_distance = 4200;

// -1500 to 2499, with -99 to 99 moved up by 200: no star on the central cross.
static int32_t spread_coordinate()
{
  int32_t v = std::rand() % 4000 - 1500;
  if (v > -100 && v < 100)
    v += 200;
  return v;
}

// -520 to 519.
static int32_t flat_coordinate()
{
  return std::rand() % 1040 - 520;
}

void populate_field()
{
  for (int i = 0; i < spread_count; i++) {
    int32_t x = spread_coordinate();
    const int32_t y = spread_coordinate();
    const int32_t z = std::rand() % 800;
    if (i >= first_pushed && z >= 1 && z <= 499)
      x += x < 0 ? -push_distance : push_distance;
    std::rand();  // one value per point is drawn and not used
    far_points.x[i] = x;
    far_points.y[i] = y;
    far_points.z[i] = z;
  }
  for (int i = 0; i < flat_far_count; i++) {
    far_points.x[i] = flat_coordinate();
    far_points.y[i] = flat_coordinate();
    far_points.z[i] = 0;
  }
  for (std::size_t i = 0; i < near_capacity; i++) {
    near_points.x[i] = flat_coordinate();
    near_points.y[i] = flat_coordinate();
    near_points.z[i] = 0;
  }
}
