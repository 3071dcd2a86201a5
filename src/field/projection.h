// View angles and the projection of field points onto the screen.
#pragma once

#include <allegro.h>

#include <cstdint>
#include <limits>

// Degrees; never wrapped by the projection.
extern float roll_angle;
extern float pitch_angle;
extern float yaw_angle;

// Outputs of the last projection.
extern int32_t proj_x;
extern int32_t proj_y;
extern int32_t proj_depth;

// Sine and cosine of an angle in degrees, rounded to single precision.
float sin_deg(float angle);
float cos_deg(float angle);

// Turns (x, y, z) by roll, pitch and yaw, then divides by depth.
void project_rotated(int32_t x, int32_t y, int32_t z);

// The same divide without rotation, for points given in double precision.
void project_flat(double x, double y, double z);

// The sines and cosines of the three view angles, as sin_deg and cos_deg give
// them, so that a frame can project all its points under one set of angles.
struct view_turn {
  float cos_roll, sin_roll;
  float cos_pitch, sin_pitch;
  float cos_yaw, sin_yaw;
};

// Sine and cosine of the current view angles, one call of each per angle.
view_turn current_view_turn();

// Truncates toward zero; NaN and values beyond the int range give the most
// negative int, as the processor's own conversion does.
inline int32_t truncate_to_int(double v)
{
  if (v > -2147483649.0 && v < 2147483648.0)
    return static_cast<int32_t>(v);
  return std::numeric_limits<int32_t>::min();
}

// Turns the pair (a, b) in its plane. The products with a are rounded to
// single precision before the products with b join them; both results are
// truncated. (The double products are exact for |a| below 2^29.)
inline void turn_plane(float c, float s, int32_t &a, int32_t &b)
{
  const float ca = static_cast<float>(static_cast<double>(c) * a);
  const float sa = static_cast<float>(static_cast<double>(s) * a);
  const int32_t turned_a = truncate_to_int(ca - static_cast<double>(s) * b);
  b = truncate_to_int(sa + static_cast<double>(c) * b);
  a = turned_a;
}

// project_rotated with the sines and cosines taken from turn.
inline void project_turned(const view_turn &turn, int32_t x, int32_t y, int32_t z)
{
  if (z < 0) {
    proj_x = 1;
    proj_y = 1;
    return;
  }
  turn_plane(turn.cos_roll, turn.sin_roll, x, y);
  turn_plane(turn.cos_pitch, turn.sin_pitch, y, z);
  turn_plane(turn.cos_yaw, turn.sin_yaw, x, z);
  proj_depth = z;
  const double divisor = z * 0.01 + 1.0;
  // Depth -100: no quotient; the point goes where no bitmap reaches.
  if (divisor == 0.0) {
    proj_x = std::numeric_limits<int32_t>::min();
    proj_y = std::numeric_limits<int32_t>::min();
    return;
  }
  proj_x = truncate_to_int(SCREEN_W / 2 + x / divisor);
  proj_y = truncate_to_int(SCREEN_H / 2 + y / divisor);
}
