#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "field/points.h"
#include "field/projection.h"
#include "field/renderer.h"
#include "headless.h"
#include "show/assets.h"

namespace {

std::vector<int> rand_values(unsigned seed, int count)
{
  srand(seed);
  std::vector<int> values(count);
  for (int &v : values)
    v = rand();
  return values;
}

// First seed from 1 up whose opening values satisfy wanted.
unsigned find_seed(int count, const std::function<bool(const std::vector<int> &)> &wanted)
{
  for (unsigned seed = 1;; seed++)
    if (wanted(rand_values(seed, count)))
      return seed;
}

// --- Population --------------------------------------------------------------

constexpr int population_draws = 1560;

int32_t spread(int r)
{
  const int32_t v = r % 4000 - 1500;
  return v > -100 && v < 100 ? v + 200 : v;
}

// Checks the field against the rules replayed on the values the same seed
// gives, and that the call took exactly its share of the sequence.
void expect_field_replays(unsigned seed, int next_value)
{
  const std::vector<int> r = rand_values(seed, population_draws + 1);
  EXPECT_EQ(next_value, r[population_draws]) << "the call takes exactly 1560 values";
  for (int i = 80; i < 300; i++) {
    SCOPED_TRACE("far point " + std::to_string(i));
    int32_t x = spread(r[4 * i]);
    const int32_t z = r[4 * i + 2] % 800;
    if (i > 180 && z >= 1 && z <= 499)
      x += x < 0 ? -4200 : 4200;
    EXPECT_EQ(far_points.x[i], x);
    EXPECT_EQ(far_points.y[i], spread(r[4 * i + 1]));
    EXPECT_EQ(far_points.z[i], z);
  }
  for (int i = 0; i < 80; i++) {
    EXPECT_EQ(far_points.x[i], r[1200 + 2 * i] % 1040 - 520) << "far point " << i;
    EXPECT_EQ(far_points.y[i], r[1201 + 2 * i] % 1040 - 520) << "far point " << i;
    EXPECT_EQ(far_points.z[i], 0);
  }
  for (int i = 0; i < 100; i++) {
    EXPECT_EQ(near_points.x[i], r[1360 + 2 * i] % 1040 - 520) << "near point " << i;
    EXPECT_EQ(near_points.y[i], r[1361 + 2 * i] % 1040 - 520) << "near point " << i;
    EXPECT_EQ(near_points.z[i], 0);
  }
}

TEST(FieldPopulation, UnseededFollowsTheDrawOrder)
{
  populate_field();
  expect_field_replays(1, rand());
  for (std::size_t i = 300; i < far_capacity; i++)
    ASSERT_TRUE(far_points.x[i] == 0 && far_points.y[i] == 0 && far_points.z[i] == 0) << i;
}

// Index of the first far point from `from` whose depth draw satisfies wanted, or -1.
int point_with_depth(const std::vector<int> &r, int from, const std::function<bool(int)> &wanted)
{
  for (int i = from; i < 300; i++)
    if (wanted(r[4 * i + 2] % 800))
      return i;
  return -1;
}

TEST(FieldPopulation, PushesFrom181AtDepths1To499Only)
{
  const auto pushable = [](int z) { return z >= 1 && z <= 499; };
  const unsigned seed = find_seed(1200, [&](const std::vector<int> &r) {
    return pushable(r[4 * 180 + 2] % 800) && pushable(r[4 * 181 + 2] % 800) &&
           point_with_depth(r, 181, [](int z) { return z == 0; }) >= 0 &&
           point_with_depth(r, 181, [](int z) { return z == 500; }) >= 0;
  });
  const std::vector<int> r = rand_values(seed, 1200);
  srand(seed);
  populate_field();
  expect_field_replays(seed, rand());
  const auto unpushed = [](int32_t x) { return x >= -1500 && x <= 2499; };
  EXPECT_TRUE(unpushed(far_points.x[180])) << far_points.x[180];
  EXPECT_FALSE(unpushed(far_points.x[181])) << far_points.x[181];
  EXPECT_TRUE(unpushed(far_points.x[point_with_depth(r, 181, [](int z) { return z == 0; })]));
  EXPECT_TRUE(unpushed(far_points.x[point_with_depth(r, 181, [](int z) { return z == 500; })]));
}

TEST(FieldPopulation, CentralBandCoversMinus99To99)
{
  // Far points' y draws (never pushed) that give -100, -99 and 99.
  const auto y_drawn = [](const std::vector<int> &r, int value) {
    for (int i = 80; i < 300; i++)
      if (r[4 * i + 1] % 4000 - 1500 == value)
        return i;
    return -1;
  };
  const unsigned seed = find_seed(1200, [&](const std::vector<int> &r) {
    return y_drawn(r, -100) >= 0 && y_drawn(r, -99) >= 0 && y_drawn(r, 99) >= 0;
  });
  const std::vector<int> r = rand_values(seed, 1200);
  srand(seed);
  populate_field();
  EXPECT_EQ(far_points.y[y_drawn(r, -100)], -100);
  EXPECT_EQ(far_points.y[y_drawn(r, -99)], 101);
  EXPECT_EQ(far_points.y[y_drawn(r, 99)], 299);
}

// --- Renderer ----------------------------------------------------------------

constexpr int values_per_frame = 90;
constexpr int cell = 21;

const int background = makecol16(0, 80, 0);

int sprite_colour(int k)
{
  return makecol16(255, 40 * k, 0);
}

// Sprites of distinct colours, each with a transparent corner pixel, and the
// two point colours; every point off the target.
class FieldRenderer : public ::testing::Test {
protected:
  BITMAP *target = nullptr;

  void SetUp() override
  {
    start_headless();
    for (int k = 0; k < star_sprite_count; k++) {
      star_sprites[k] = filled_bitmap(cell, cell, sprite_colour(k));
      putpixel(star_sprites[k], 0, 0, MASK_COLOR_16);
    }
    point_colour_light = makecol16(95, 95, 207);
    point_colour_dark = makecol16(15, 15, 107);
    target = filled_bitmap(1024, 768, background);
    hide_all_points();
  }

  // Moves every point far out in a direction that the current angles turn
  // off the target.
  static void hide_all_points()
  {
    for (int up = 0; up <= 90; up += 5)
      for (int around = 0; around < 360; around += 5) {
        const double a = around * std::numbers::pi / 180, u = up * std::numbers::pi / 180;
        const auto x = static_cast<int32_t>(100000 * std::cos(u) * std::cos(a));
        const auto y = static_cast<int32_t>(100000 * std::cos(u) * std::sin(a));
        const auto z = static_cast<int32_t>(100000 * std::sin(u));
        project_rotated(x, y, z);
        if (std::abs(int64_t{proj_x} - 512) > 2000 || std::abs(int64_t{proj_y} - 384) > 2000) {
          near_points.x.fill(x);
          near_points.y.fill(y);
          near_points.z.fill(z);
          far_points.x.fill(x);
          far_points.y.fill(y);
          far_points.z.fill(z);
          return;
        }
      }
    FAIL() << "no hiding direction for these angles";
  }

  // What the 21x21 cell with its corner at (left, top) shows.
  std::string look(int left, int top) const
  {
    const int centre = getpixel(target, left + 10, top + 10);
    const bool corner_clear = getpixel(target, left, top) == background;
    for (int k = 0; k < star_sprite_count; k++)
      if (centre == sprite_colour(k))
        return corner_clear ? "sprite " + std::to_string(k) : "opaque sprite";
    if (getpixel(target, left + 9, top + 9) != background)
      return "more than a pixel";
    if (centre == point_colour_light)
      return "light pixel";
    if (centre == point_colour_dark)
      return "dark pixel";
    return centre == background ? "nothing" : "unknown";
  }

  static void place(auto &set, int i, int left, int top, int32_t z = 0)
  {
    set.x[i] = left - 512;
    set.y[i] = top - 384;
    set.z[i] = z;
  }
};

// The cell of far point i in a grid that keeps all 80 flat stars apart.
std::pair<int, int> grid_cell(int i)
{
  return {20 + 25 * (i % 40), 20 + 25 * (i / 40)};
}

TEST_F(FieldRenderer, PutsPixelsAtCellCentresAndSpritesAtCorners)
{
  const unsigned seed = find_seed(values_per_frame, [](const std::vector<int> &r) {
    return r[18] % 2220 != 0;
  });
  near_points.x[10] = -500;  // pixel at (22, 94)
  near_points.y[10] = -300;
  near_points.x[50] = 100;  // pixel at (622, 594)
  near_points.y[50] = 200;
  near_points.x[11] = -520;  // pixel at (2, -126): clipped
  near_points.y[11] = -520;
  far_points.x[8] = -400;  // sprite from (112, 84)
  far_points.y[8] = -300;
  srand(seed);
  draw_field(target);
  EXPECT_EQ(getpixel(target, 22, 94), point_colour_dark);
  EXPECT_EQ(getpixel(target, 622, 594), point_colour_light);
  EXPECT_EQ(look(112, 84), "sprite 0");
  EXPECT_EQ(count_other_than(target, background), 2 + cell * cell - 1)
      << "nothing else drawn, nothing cleared";
}

TEST_F(FieldRenderer, GradesStarsFrom80To179ByDepth)
{
  const std::vector<std::pair<int32_t, std::string>> bands = {
      {0, "sprite 5"},     {99, "sprite 5"},    {100, "sprite 4"},      {149, "sprite 4"},
      {150, "sprite 3"},   {199, "sprite 3"},   {200, "sprite 2"},      {249, "sprite 2"},
      {250, "sprite 1"},   {299, "sprite 1"},   {300, "sprite 0"},      {349, "sprite 0"},
      {350, "light pixel"}, {549, "light pixel"}, {550, "dark pixel"}, {799, "dark pixel"}};
  for (int i : {80, 179})
    for (const auto &[depth, expected] : bands) {
      hide_all_points();
      place(far_points, i, 512, 384, depth);
      clear_to_color(target, background);
      draw_field(target);
      EXPECT_EQ(look(512, 384), expected) << "point " << i << " at depth " << depth;
    }
}

TEST_F(FieldRenderer, GradesByRotatedDepth)
{
  yaw_angle = -90;  // turns x = -400 into depth 400
  hide_all_points();
  place(far_points, 120, 112, 384);
  draw_field(target);
  EXPECT_EQ(look(512, 384), "light pixel");

  yaw_angle = 0;
  pitch_angle = 90;  // turns y into depth: -150 lies behind the viewer
  hide_all_points();
  place(far_points, 120, 512, 234);
  clear_to_color(target, background);
  draw_field(target);
  EXPECT_EQ(look(512, 384), "sprite 5");

  place(far_points, 120, 562, 284);  // (50, -100): depth -100, divisor 0
  clear_to_color(target, background);
  draw_field(target);
  EXPECT_EQ(count_other_than(target, background), 0);
}

TEST_F(FieldRenderer, ProjectsExactlyAsProjectRotated)
{
  // Points that land a pixel off unless the sines and cosines are exactly
  // those of sin_deg and cos_deg and the float rounding is the same.
  struct sensitive_point {
    float roll;
    int32_t x, y;
    int left, top;
  };
  for (const sensitive_point &p : {sensitive_point{11, 115, -53, 634, 354},
                                   sensitive_point{27.1f, -329, 211, 124, 421},
                                   sensitive_point{32.3f, -288, -231, 393, 35}}) {
    roll_angle = p.roll;
    hide_all_points();
    near_points.x[50] = p.x;
    near_points.y[50] = p.y;
    clear_to_color(target, background);
    draw_field(target);
    EXPECT_EQ(look(p.left, p.top), "light pixel") << "roll " << p.roll << ", " << p.x << ", " << p.y;
  }

  roll_angle = 37.5f;
  pitch_angle = -12.25f;
  yaw_angle = 21.125f;
  hide_all_points();
  std::minstd_rand coordinates(5);
  std::set<std::pair<int, int>> expected;
  for (int i = 50; i < 100; i++) {
    near_points.x[i] = static_cast<int32_t>(coordinates() % 1201) - 600;
    near_points.y[i] = static_cast<int32_t>(coordinates() % 1201) - 600;
    near_points.z[i] = static_cast<int32_t>(coordinates() % 800);
    project_rotated(near_points.x[i], near_points.y[i], near_points.z[i]);
    if (is_inside_bitmap(target, proj_x + 10, proj_y + 10, 1))
      expected.insert({proj_x + 10, proj_y + 10});
  }
  ASSERT_GE(expected.size(), 40u);
  clear_to_color(target, background);
  draw_field(target);
  std::set<std::pair<int, int>> drawn;
  for (int y = 0; y < target->h; y++)
    for (int x = 0; x < target->w; x++)
      if (getpixel(target, x, y) != background)
        drawn.insert({x, y});
  EXPECT_EQ(drawn, expected);
}

TEST_F(FieldRenderer, NearPointsZeroToNineFlareOnValuesDivisibleBy1200)
{
  const unsigned seed = find_seed(10, [](const std::vector<int> &r) {
    return std::any_of(r.begin(), r.end(), [](int v) { return v % 1200 == 0; });
  });
  const std::vector<int> r = rand_values(seed, 10);
  for (int i = 0; i < 10; i++)
    place(near_points, i, 100 + 30 * i, 600);
  srand(seed);
  draw_field(target);
  for (int i = 0; i < 10; i++)
    EXPECT_EQ(look(100 + 30 * i, 600), r[i] % 1200 == 0 ? "light pixel" : "dark pixel")
        << "near point " << i;
}

TEST_F(FieldRenderer, FlatStarsTwinkleOnTheirOwnValues)
{
  // Values 10 to 17 belong to far points 0 to 7, 18 to 89 to points 8 to 79.
  const unsigned seed = find_seed(values_per_frame, [](const std::vector<int> &r) {
    return std::any_of(r.begin() + 10, r.begin() + 18, [](int v) { return v % 1160 == 0; }) &&
           std::any_of(r.begin() + 18, r.end(), [](int v) { return v % 2220 == 0; });
  });
  const std::vector<int> r = rand_values(seed, values_per_frame);
  for (int i = 0; i < 80; i++)
    place(far_points, i, grid_cell(i).first, grid_cell(i).second);
  srand(seed);
  draw_field(target);
  for (int i = 0; i < 80; i++) {
    const int v = r[10 + i];
    const std::string expected = i < 8 ? (v % 1160 == 0 ? "sprite 2" : "sprite 1")
                                       : (v % 2220 == 0 ? "sprite 1" : "sprite 0");
    EXPECT_EQ(look(grid_cell(i).first, grid_cell(i).second), expected) << "far point " << i;
  }
}

TEST_F(FieldRenderer, TakesExactly90ValuesEvenWhenAllIsClipped)
{
  BITMAP *tiny = create_bitmap(1, 1);
  populate_field();
  srand(7);
  draw_field(tiny);
  const int next = rand();
  EXPECT_EQ(next, rand_values(7, values_per_frame + 1)[values_per_frame]);
}

TEST_F(FieldRenderer, LaterGroupsCoverEarlierOnes)
{
  place(near_points, 50, 505, 380);      // light pixel at (515, 390)
  place(far_points, 8, 512, 384);        // flat star over it
  place(far_points, 80, 512, 384, 600);  // dark pixel at the star's centre
  srand(find_seed(values_per_frame, [](const std::vector<int> &r) { return r[18] % 2220 != 0; }));
  draw_field(target);
  EXPECT_EQ(getpixel(target, 515, 390), sprite_colour(0));
  EXPECT_EQ(getpixel(target, 522, 394), point_colour_dark);
  EXPECT_EQ(getpixel(target, 512, 384), background) << "the sprite's clear corner";
}

TEST_F(FieldRenderer, NeverDrawsFarPointsFrom180On)
{
  for (std::size_t i = 180; i < far_capacity; i++)
    place(far_points, static_cast<int>(i), 500, 380, static_cast<int32_t>(i % 800));
  draw_field(target);
  EXPECT_EQ(count_other_than(target, background), 0);
}

}  // namespace
