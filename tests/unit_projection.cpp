// project_rotated on worked examples. The field renderer projects with
// project_turned, the same routine with its sines taken once a frame, which
// the frame hashes hold to the same pictures.
#include <gtest/gtest.h>

#include <climits>
#include <tuple>

#include "field/projection.h"
#include "headless.h"

namespace {

using projected = std::tuple<int32_t, int32_t, int32_t>;  // x, y, depth

projected rotated(int32_t x, int32_t y, int32_t z)
{
  project_rotated(x, y, z);
  return {proj_x, proj_y, proj_depth};
}

struct rotated_case {
  float roll, pitch, yaw;
  int32_t x, y, z;
  projected expected;
};

// On 1024x768, so the centre is (512, 384).
constexpr rotated_case rotated_cases[] = {
    {0, 0, 0, 100, -50, 0, {612, 334, 0}},
    {0, 0, 0, 200, 100, 100, {612, 434, 100}},  // divisor 2
    {0, 0, 0, 1000, 0, 799, {623, 384, 799}},   // divisor 8.99
    {0, 0, 0, -1025, 0, 100, {0, 384, 100}},    // -0.5 truncates to 0
    {90, 0, 0, 100, 0, 0, {512, 484, 0}},       // +x turns towards +y
    {0, 90, 0, 0, 0, 100, {512, 284, 0}},
    {0, 0, 90, 0, 0, 100, {412, 384, 0}},
    {0, 90, 90, 0, 100, 0, {412, 384, 0}},  // pitch turns y into depth, then yaw into x
    // Truncation after every step: roll gives (2, 2), which yaw turns into
    // depth 2; carrying 2.12 on would end at row 386.
    {45, 0, 0, 1, 0, 0, {512, 384, 0}},
    {45, 0, 0, -3, 0, 0, {510, 382, 0}},
    {45, 0, 90, 3, 0, 0, {512, 385, 2}},
    // A pixel off if sine or cosine are taken in single precision.
    {27.1f, 0, 0, -329, 211, 0, {124, 421, 0}},
    {32.3f, 0, 0, -288, -231, 0, {393, 35, 0}},
    // A pixel off unless the product with the first coordinate is rounded
    // to single precision alone before the other is added.
    {11, 0, 0, 115, -53, 0, {634, 354, 0}},
    {17, 0, 0, 390, 115, 0, {851, 607, 0}},
    // Rotated depth behind the viewer: pushed out, mirrored, or nowhere.
    {0, 90, 0, 100, -50, 0, {712, 384, -50}},
    {0, 90, 0, 100, -300, 0, {462, 384, -300}},
    {0, 90, 0, 50, -100, 0, {INT_MIN, INT_MIN, -100}},
};

TEST(Projection, RotatedMatchesWorkedExamples)
{
  start_headless();
  for (const rotated_case &c : rotated_cases) {
    roll_angle = c.roll;
    pitch_angle = c.pitch;
    yaw_angle = c.yaw;
    EXPECT_EQ(rotated(c.x, c.y, c.z), c.expected) << "case " << &c - rotated_cases;
  }
}

}  // namespace
