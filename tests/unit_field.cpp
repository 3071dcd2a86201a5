#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <random>
#include <ranges>
#include <set>
#include <tuple>
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

// Populates from seed and checks every point against the rules replayed on
// the values the seed gives, and that the call takes exactly 1560 of them.
void populate_and_replay(unsigned seed)
{
  srand(seed);
  populate_field();
  const int next = rand();
  const std::vector<int> r = rand_values(seed, 1561);
  EXPECT_EQ(next, r[1560]);
  const auto spread = [](int v) {
    const int s = v % 4000 - 1500;
    return s > -100 && s < 100 ? s + 200 : s;
  };
  const auto flat = [&](int at) {
    return std::tuple(r[at] % 1040 - 520, r[at + 1] % 1040 - 520, 0);
  };
  for (int i = 0; i < int(far_capacity); i++) {
    auto expected = i < 80 ? flat(1200 + 2 * i) : std::tuple(0, 0, 0);
    if (i >= 80 && i < 300) {
      const int z = r[4 * i + 2] % 800, x = spread(r[4 * i]);
      const bool pushed = i > 180 && z >= 1 && z <= 499;
      expected = {pushed ? x + (x < 0 ? -4200 : 4200) : x, spread(r[4 * i + 1]), z};
    }
    ASSERT_EQ(std::tuple(far_points.x[i], far_points.y[i], far_points.z[i]), expected)
        << "far point " << i;
  }
  for (int i = 0; i < 100; i++)
    ASSERT_EQ(std::tuple(near_points.x[i], near_points.y[i], near_points.z[i]), flat(1360 + 2 * i))
        << "near point " << i;
}

TEST(FieldPopulation, FollowsTheRulesInTheDrawOrderUpToTheirBoundaries)
{
  // Whether a far point from 182 on has a draw 4i + k (its x, y or z) with
  // remainder rem modulo m.
  const auto has_draw = [](const std::vector<int> &r, int k, int m, int rem) {
    return std::ranges::any_of(std::views::iota(182, 300),
                               [&](int i) { return r[4 * i + k] % m == rem; });
  };
  const auto pushable = [](int r) { return r % 800 >= 1 && r % 800 <= 499; };
  // Points 180 and 181 at pushable depths, later ones at depths 0 and 500.
  const unsigned push_seed = find_seed(1200, [&](const std::vector<int> &r) {
    return pushable(r[4 * 180 + 2]) && pushable(r[4 * 181 + 2]) && has_draw(r, 2, 800, 0) &&
           has_draw(r, 2, 800, 500);
  });
  // y draws of -100, -99 and 99, the edges of the empty cross.
  const unsigned cross_seed = find_seed(1200, [&](const std::vector<int> &r) {
    return has_draw(r, 1, 4000, 1400) && has_draw(r, 1, 4000, 1401) && has_draw(r, 1, 4000, 1599);
  });
  for (unsigned seed : {1u, push_seed, cross_seed})
    populate_and_replay(seed);
}

// --- Renderer ----------------------------------------------------------------

// Sprites of distinct colours, each with a transparent corner pixel, and
// the two point colours.
class FieldRenderer : public ::testing::Test {
protected:
  static constexpr int corner = 32;  // where the hidden points land
  BITMAP *target = nullptr;
  int background = 0, light = 0, dark = 0;
  std::array<int, star_sprite_count> sprite{};

  void SetUp() override
  {
    start_headless();
    for (int k = 0; k < star_sprite_count; k++) {
      sprite[k] = makecol16(255, 40 * k, 0);
      star_sprites[k] = filled_bitmap(21, 21, sprite[k]);
      putpixel(star_sprites[k], 0, 0, MASK_COLOR_16);
    }
    light = point_colour_light = makecol16(95, 95, 207);
    dark = point_colour_dark = makecol16(15, 15, 107);
    background = makecol16(0, 80, 0);
    target = filled_bitmap(1024, 768, background);
    // A negative input depth projects to (1, 1) under any angles: every
    // point is hidden in the corner until a test places it.
    near_points.z.fill(-1);
    far_points.z.fill(-1);
  }

  // Point i of set at depth z, where it lands with its cell's corner at
  // `at` when the angles are 0.
  static void place(auto &set, int i, std::pair<int, int> at, int32_t z = 0)
  {
    set.x[i] = at.first - 512;
    set.y[i] = at.second - 384;
    set.z[i] = z;
  }

  // What the 21x21 cell with its corner at `at` shows at its centre.
  int centre(std::pair<int, int> at) const
  {
    return getpixel(target, at.first + 10, at.second + 10);
  }

  // The pixels drawn outside the corner.
  std::set<std::pair<int, int>> drawn() const
  {
    std::set<std::pair<int, int>> at;
    for (int y = 0; y < target->h; y++)
      for (int x = 0; x < target->w; x++)
        if ((x >= corner || y >= corner) && getpixel(target, x, y) != background)
          at.insert({x, y});
    return at;
  }

  std::set<std::pair<int, int>> redraw()
  {
    clear_to_color(target, background);
    draw_field(target);
    return drawn();
  }
};

TEST_F(FieldRenderer, PlacesPointsLaterGroupsOnTopWithoutClearing)
{
  place(near_points, 10, {12, 84});        // dark pixel at (22, 94)
  place(near_points, 11, {-8, -136});      // (-520, -520): at (2, -126), clipped
  place(near_points, 50, {505, 380});      // light pixel at (515, 390), under:
  place(far_points, 8, {512, 384});        // sprite 0 from (512, 384), under:
  place(far_points, 80, {512, 384}, 600);  // dark pixel at (522, 394)
  srand(find_seed(90, [](const std::vector<int> &r) { return r[18] % 2220 != 0; }));
  draw_field(target);
  // The sprite's corner is transparent.
  const std::tuple<int, int, int> seen[] = {{22, 94, dark},        {512, 384, background},
                                            {513, 384, sprite[0]}, {515, 390, sprite[0]},
                                            {532, 404, sprite[0]}, {522, 394, dark}};
  for (const auto &[x, y, colour] : seen)
    EXPECT_EQ(getpixel(target, x, y), colour) << x << ", " << y;
  EXPECT_EQ(drawn().size(), 21u * 21) << "nothing else drawn, nothing cleared";
}

TEST_F(FieldRenderer, EachGroupTakesItsLookFromItsOwnValue)
{
  const auto grid = [](int i, int top) {
    return std::pair{40 + 24 * (i % 40), top + 24 * (i / 40)};
  };
  for (int i = 0; i < 100; i++)
    place(near_points, i, grid(i, 600));
  for (int i = 0; i < 80; i++)
    place(far_points, i, grid(i, 40));
  // Values 0 to 9 belong to near points 0 to 9, 10 to 17 to far points 0 to
  // 7, and 18 to 89 to far points 8 to 79: a frame where each group flares.
  for (const auto &[from, to, odds] : {std::tuple{0, 10, 1200}, {10, 18, 1160}, {18, 90, 2220}}) {
    const unsigned seed = find_seed(90, [&](const std::vector<int> &r) {
      return std::any_of(r.begin() + from, r.begin() + to, [&](int v) { return v % odds == 0; });
    });
    const std::vector<int> r = rand_values(seed, 90);
    srand(seed);
    redraw();
    for (int i = 0; i < 100; i++)
      EXPECT_EQ(centre(grid(i, 600)), (i < 10 ? r[i] % 1200 == 0 : i >= 50) ? light : dark)
          << "near point " << i;
    for (int i = 0; i < 80; i++) {
      const int k = i < 8 ? (r[10 + i] % 1160 == 0 ? 2 : 1) : (r[10 + i] % 2220 == 0 ? 1 : 0);
      EXPECT_EQ(centre(grid(i, 40)), sprite[k]) << "far point " << i;
    }
  }
}

TEST_F(FieldRenderer, GradesPoints80To179ByRotatedDepthAndDrawsNoneAfter)
{
  // The lowest depth of each look: sprites 5 to 0, then a light, then a dark pixel.
  const std::array<int32_t, 9> band = {0, 100, 150, 200, 250, 300, 350, 550, 800};
  const std::array<int, 8> look = {sprite[5], sprite[4], sprite[3], sprite[2],
                                   sprite[1], sprite[0], light,     dark};
  for (int i : {80, 179})
    for (int b = 0; b < 8; b++)
      for (int32_t depth : {band[b], band[b + 1] - 1}) {
        place(far_points, i, {512, 384}, depth);
        redraw();
        EXPECT_EQ(centre({512, 384}), look[b]) << "point " << i << " at depth " << depth;
        far_points.z[i] = -1;
      }
  yaw_angle = -90;  // turns x = -400 into depth 400
  place(far_points, 120, {112, 384});
  redraw();
  EXPECT_EQ(centre({512, 384}), light);
  yaw_angle = 0;
  pitch_angle = 90;  // turns y = -150 into depth -150, behind the viewer
  place(far_points, 120, {512, 234});
  redraw();
  EXPECT_EQ(centre({512, 384}), sprite[5]);
  place(far_points, 120, {562, 284});  // (50, -100): depth -100, divisor 0
  for (int i = 180; i < int(far_capacity); i++)
    place(far_points, i, {500, 380}, i % 800);
  EXPECT_TRUE(redraw().empty());
}

TEST_F(FieldRenderer, ProjectsEveryPointExactlyAsProjectRotated)
{
  // Random points, the first of each roll one that lands a pixel off unless
  // the sines, cosines and roundings are exactly those of project_rotated.
  struct view {
    float roll, pitch, yaw;
    int32_t x, y;
  };
  std::minstd_rand coordinates(5);
  for (const view &v : {view{11, 0, 0, 115, -53}, view{27.1f, 0, 0, -329, 211},
                        view{32.3f, 0, 0, -288, -231}, view{37.5f, -12.25f, 21.125f, 0, 0}}) {
    std::tie(roll_angle, pitch_angle, yaw_angle) = std::tie(v.roll, v.pitch, v.yaw);
    std::set<std::pair<int, int>> expected;
    for (int i = 50; i < 100; i++) {
      near_points.x[i] = i == 50 ? v.x : int32_t(coordinates() % 1201) - 600;
      near_points.y[i] = i == 50 ? v.y : int32_t(coordinates() % 1201) - 600;
      near_points.z[i] = i == 50 ? 0 : int32_t(coordinates() % 800);
      project_rotated(near_points.x[i], near_points.y[i], near_points.z[i]);
      const int x = proj_x + 10, y = proj_y + 10;
      if (is_inside_bitmap(target, x, y, 1) && (x >= corner || y >= corner))
        expected.insert({x, y});
    }
    EXPECT_EQ(redraw(), expected) << "roll " << v.roll;
  }
}

TEST_F(FieldRenderer, TakesExactly90ValuesEvenWhenAllIsClipped)
{
  populate_field();
  srand(7);
  draw_field(create_bitmap(1, 1));
  const int next = rand();
  EXPECT_EQ(next, rand_values(7, 91)[90]);
}

}  // namespace
