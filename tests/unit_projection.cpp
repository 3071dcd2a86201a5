#include <gtest/gtest.h>

#include <climits>
#include <ostream>

#include "field/projection.h"
#include "headless.h"

namespace {

struct projected {
  int32_t x, y, depth;
  bool operator==(const projected &) const = default;
};

std::ostream &operator<<(std::ostream &out, const projected &p)
{
  return out << "(" << p.x << ", " << p.y << ") depth " << p.depth;
}

projected rotated(int32_t x, int32_t y, int32_t z)
{
  project_rotated(x, y, z);
  return {proj_x, proj_y, proj_depth};
}

projected flat(double x, double y, double z)
{
  project_flat(x, y, z);
  return {proj_x, proj_y, proj_depth};
}

class Projection : public ::testing::Test {
protected:
  void SetUp() override { start_headless(); }
};

TEST(AngleFunctions, AreExactWhereSinglePrecisionAllows)
{
  EXPECT_EQ(sin_deg(0), 0.0f);
  EXPECT_EQ(cos_deg(0), 1.0f);
  EXPECT_EQ(sin_deg(90), 1.0f);
  EXPECT_EQ(sin_deg(-90), -1.0f);
  EXPECT_GT(cos_deg(90), 0.0f) << "not rounded to zero";
  EXPECT_LT(cos_deg(90), 1e-16f);
}

TEST_F(Projection, DividesByDepthAroundTheScreenCentre)
{
  EXPECT_EQ(rotated(100, -50, 0), (projected{612, 334, 0}));
  EXPECT_EQ(rotated(200, 100, 100), (projected{612, 434, 100}));
  EXPECT_EQ(rotated(1000, 0, 799), (projected{623, 384, 799}));
  EXPECT_EQ(flat(200.0, 100.0, 100.0), (projected{612, 434, 100}));
  EXPECT_EQ(flat(0.0, -50.0, 99.9).depth, 99);
}

TEST_F(Projection, AnglesTurnTheirOwnPlanes)
{
  roll_angle = 90;
  EXPECT_EQ(rotated(100, 0, 0), (projected{512, 484, 0})) << "+x turns towards +y";
  roll_angle = 0;
  pitch_angle = 90;
  EXPECT_EQ(rotated(0, 0, 100), (projected{512, 284, 0}));
  pitch_angle = 0;
  yaw_angle = 90;
  EXPECT_EQ(rotated(0, 0, 100), (projected{412, 384, 0}));
}

TEST_F(Projection, TruncatesTowardZeroAfterEveryStep)
{
  EXPECT_EQ(rotated(-1025, 0, 100).x, 0) << "-0.5 truncates to 0, not -1";
  roll_angle = 45;
  EXPECT_EQ(rotated(1, 0, 0), (projected{512, 384, 0}));
  EXPECT_EQ(rotated(-3, 0, 0), (projected{510, 382, 0})) << "-2.12 becomes -2";
  // Roll gives (2, 2) after truncation; yaw then moves the 2 into depth.
  // Carrying 2.12 on untruncated would end at row 386 with depth 2.
  yaw_angle = 90;
  EXPECT_EQ(rotated(3, 0, 0), (projected{512, 385, 2}));
}

TEST_F(Projection, TakesSinesInDoublePrecisionRoundedOnce)
{
  // A sine or cosine computed in single precision differs from these by one
  // unit in the last place, enough to move these points by a pixel.
  roll_angle = 27.1f;
  EXPECT_EQ(rotated(-329, 211, 0), (projected{512 - 388, 384 + 37, 0})) << "cosine";
  roll_angle = 32.3f;
  EXPECT_EQ(rotated(-288, -231, 0), (projected{512 - 119, 384 - 349, 0})) << "sine";
}

TEST_F(Projection, RoundsTheFirstProductToSinglePrecisionBeforeAdding)
{
  // Here the exact sums fall just short of a whole number only when the
  // product with x is rounded to float first: without that rounding, or with
  // both products or the whole sum rounded, they reach it.
  roll_angle = 11;
  EXPECT_EQ(rotated(115, -53, 0), (projected{512 + 122, 384 - 30, 0}));
  roll_angle = 17;
  EXPECT_EQ(rotated(390, 115, 0), (projected{512 + 339, 384 + 223, 0}));
}

TEST_F(Projection, DepthBehindTheViewerPushesOutMirrorsOrVanishes)
{
  pitch_angle = 90;
  EXPECT_EQ(rotated(100, -50, 0), (projected{712, 384, -50})) << "divisor 0.5";
  EXPECT_EQ(rotated(100, -300, 0), (projected{462, 384, -300})) << "divisor -2";
  EXPECT_EQ(rotated(50, -100, 0), (projected{INT_MIN, INT_MIN, -100})) << "divisor 0";
}

TEST_F(Projection, NegativeInputDepthGivesTheFixedCornerAndKeepsTheDepth)
{
  rotated(10, 10, 50);
  EXPECT_EQ(rotated(300, 300, -1), (projected{1, 1, 50}));
  EXPECT_EQ(flat(300.0, 300.0, -1e-9), (projected{1, 1, 50}));
  EXPECT_EQ(flat(3.0, 4.0, -0.0), (projected{515, 388, 0})) << "-0.0 is not negative";
}

TEST(ProjectionOnOddScreen, FlatHalvesExactlyRotatedInIntegers)
{
  start_headless(1023, 767);
  EXPECT_EQ(flat(0.5, 0.5, 0.0), (projected{512, 384, 0})) << "centre 511.5, 383.5";
  EXPECT_EQ(rotated(1, 1, 100), (projected{511, 383, 100})) << "511 + 0.5, 383 + 0.5";
}

TEST(ProjectionWithoutDriver, CentresOnTheOrigin)
{
  start_headless();
  gfx_driver = nullptr;
  EXPECT_EQ(rotated(5, 7, 0), (projected{5, 7, 0}));
  EXPECT_EQ(flat(-5.5, 7.9, 0.0), (projected{-5, 7, 0}));
}

}  // namespace
