// The star field's points, replayed from the random values they are made of,
// on seeds that reach each rule's boundaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <ranges>
#include <tuple>
#include <vector>

#include "field/points.h"

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

}  // namespace
