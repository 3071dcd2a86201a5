#include "field/projection.h"

#include <cmath>

float roll_angle;
float pitch_angle;
float yaw_angle;
int32_t proj_x;
int32_t proj_y;
int32_t proj_depth;

static constexpr double radians_per_degree = 0.017453292519943295;

float sin_deg(float angle)
{
  return static_cast<float>(std::sin(angle * radians_per_degree));
}

float cos_deg(float angle)
{
  return static_cast<float>(std::cos(angle * radians_per_degree));
}

view_turn current_view_turn()
{
  return {cos_deg(roll_angle),  sin_deg(roll_angle), cos_deg(pitch_angle),
          sin_deg(pitch_angle), cos_deg(yaw_angle),  sin_deg(yaw_angle)};
}

void project_rotated(int32_t x, int32_t y, int32_t z)
{
  project_turned(current_view_turn(), x, y, z);
}

// Turning by zero angles leaves a point as it is, so only the divide remains.
// The screen is halved exactly here: an odd width has a centre at .5.
void project_flat(double x, double y, double z)
{
  if (z < 0.0) {
    proj_x = 1;
    proj_y = 1;
    return;
  }
  const double divisor = z * 0.01 + 1.0;
  proj_x = truncate_to_int(SCREEN_W / 2.0 + x / divisor);
  proj_y = truncate_to_int(SCREEN_H / 2.0 + y / divisor);
  proj_depth = truncate_to_int(z);
}
