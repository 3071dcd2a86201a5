// View angles and the projection of field points onto the screen.
#pragma once

#include <cstdint>

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
