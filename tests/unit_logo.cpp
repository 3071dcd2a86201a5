#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <optional>
#include <vector>

#include "field/points.h"
#include "field/renderer.h"
#include "headless.h"
#include "platform/platform.h"
#include "refreshes.h"
#include "scenes/logo.h"
#include "show/assets.h"
#include "show/pages.h"
#include "system_hooks.h"

namespace {

constexpr int area_x = 190;
constexpr int area_y = 250;
constexpr unsigned field_seed = 7;

// Four upright stripes whose green components lie on every step of the
// 6-bit green, so that the faded colours tell the fade amount exactly, in a
// border that shows a fade of 1. Red stays high: no faded logo colour
// matches the backdrop.
std::array<int, 4> stripes;
int border;
constexpr int border_size = 4;
int backdrop_fill;

void prepare_show()
{
  start_headless();
  create_headless_pages();
  point_colour_light = makecol16(95, 95, 207);
  point_colour_dark = makecol16(15, 15, 107);
  for (BITMAP *&sprite : star_sprites) {
    sprite = filled_bitmap(star_sprite_size, star_sprite_size, MASK_COLOR_16);
    rectfill(sprite, 6, 6, 14, 14, makecol16(255, 255, 160));
  }
  stripes = {makecol16(255, 60, 0), makecol16(255, 125, 0), makecol16(255, 190, 0),
             makecol16(255, 255, 132)};
  border = makecol16(255, 60, 0);
  logo_image = filled_bitmap(logo_width, logo_height, border);
  for (int k = 0; k < 4; k++)
    rectfill(logo_image, std::max(k * logo_width / 4, border_size), border_size,
             std::min((k + 1) * logo_width / 4, logo_width - border_size) - 1,
             logo_height - border_size - 1, stripes[k]);
  populate_field();
  // Not black, so that a page cleared before the field is drawn would show.
  backdrop_fill = makecol16(48, 48, 48);
  clear_to_color(flip_pages[back_page_index], backdrop_fill);
  srand(field_seed);
}

// The field frame the scene is expected to save: drawn over what the back
// page held, from the same point of the random sequence.
BITMAP *expected_field_frame()
{
  srand(field_seed);
  BITMAP *frame = filled_bitmap(SCREEN_W, SCREEN_H, backdrop_fill);
  draw_field(frame);
  EXPECT_GT(count_other_than(frame, backdrop_fill), 0) << "the field frame shows no star";
  return frame;
}

// The bitmaps made since watch_bitmaps, in order.
std::vector<BITMAP *> made_pointers()
{
  std::vector<BITMAP *> pointers;
  for (const made_bitmap &made : bitmaps_made)
    pointers.push_back(made.bmp);
  return pointers;
}

// The logo as the viewer sees it: the box, relative to the logo area, of
// the pixels that differ from the saved field frame, and how many they are.
struct drawn_logo {
  int left, top, width, height;
  long pixels;
};

drawn_logo find_logo(BITMAP *frame)
{
  int x0 = INT_MAX, y0 = INT_MAX, x1 = -1, y1 = -1;
  long pixels = 0;
  for (int y = 0; y < frame->h; y++)
    for (int x = 0; x < frame->w; x++)
      if (getpixel(frame, x, y) != getpixel(background_page, x, y)) {
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
        pixels++;
      }
  if (pixels == 0)
    return {0, 0, 0, 0, 0};
  return {x0 - area_x, y0 - area_y, x1 - x0 + 1, y1 - y0 + 1, pixels};
}

int darkened(int colour, int amount)
{
  auto less = [amount](int c) { return c - amount > 0 ? c - amount : 0; };
  return makecol16(less(getr16(colour)), less(getg16(colour)), less(getb16(colour)));
}

// The fade amounts that turn the stripes into the colours seen in row y
// (relative to the logo area) at the middle of each stripe.
std::vector<int> fades_seen(BITMAP *frame, const drawn_logo &logo, int y)
{
  std::vector<int> amounts;
  for (int amount = 0; amount <= 255; amount++) {
    bool fits = true;
    for (int k = 0; k < 4; k++) {
      int x = logo.left + (2 * k + 1) * logo.width / 8;
      fits = fits && getpixel(frame, area_x + x, area_y + y) == darkened(stripes[k], amount);
    }
    if (fits)
      amounts.push_back(amount);
  }
  return amounts;
}

// squash_angle shows only through squash (frames 1 to 170) and through the
// start of the fade, once it passes 40 at frame 108. The fade amounts of
// frames 305 and 321 (248, 253) are not visible: the logo is gone by then.
struct table_row {
  int frame;
  int squash;
  int width, height;
  std::optional<int> fade;
};
constexpr table_row table[] = {
    {1, 0, 639, 283, std::nullopt},   {2, 6, 632, 280, std::nullopt},
    {107, 306, 294, 130, std::nullopt}, {108, 311, 289, 127, 1},
    {170, 430, 155, 68, 106},         {171, 431, 154, 67, 107},
    {305, 565, 3, 0, std::nullopt},   {321, 581, -14, -8, std::nullopt},
};

TEST(LogoScene, ShrinksAndFadesAsTheTableSays)
{
  prepare_show();
  std::vector<int64_t> frames;
  for (const table_row &row : table)
    frames.push_back(row.frame);
  record_refreshes(frames);
  logo_scene();

  for (const table_row &row : table) {
    SCOPED_TRACE(testing::Message() << "frame " << row.frame);
    BITMAP *frame = refresh_copy(row.frame);
    ASSERT_NE(frame, nullptr);
    drawn_logo logo = find_logo(frame);
    if (row.width <= 0 || row.height <= 0) {
      EXPECT_EQ(logo.pixels, 0) << "nothing of the logo is left";
      continue;
    }
    EXPECT_EQ(logo.width, row.width);
    EXPECT_EQ(logo.height, row.height);
    EXPECT_EQ(logo.pixels, long(logo.width) * logo.height) << "the logo is one solid block";
    // Kept centred in the area as it shrinks.
    EXPECT_EQ(logo.left, int(0.5625 * row.squash));
    EXPECT_EQ(logo.top, (row.squash - row.squash / 2) - row.squash / 4);
    EXPECT_EQ(fades_seen(frame, logo, logo.top + logo.height / 2),
              std::vector<int>{row.fade.value_or(0)})
        << "fade amount in the logo's middle row";
  }

  // At full size the logo is copied one to one.
  BITMAP *first = create_sub_bitmap(refresh_copy(1), area_x, area_y, logo_width, logo_height);
  EXPECT_TRUE(same_pixels(first, logo_image));
  destroy_bitmap(first);
}

TEST(LogoScene, FadesOnlyTheLayersLowerLeftCorner)
{
  prepare_show();
  record_refreshes({108});
  logo_scene();
  // Frame 108: the logo spans the corner's full width, columns 0 to 288, and
  // reaches 33 rows above it. Those rows keep their colours; the rest, down
  // to the layer's last row, fade by 1, as the border shows on every side.
  BITMAP *frame = refresh_copy(108);
  drawn_logo logo = find_logo(frame);
  ASSERT_EQ(logo.width, 289);
  ASSERT_EQ(logo.height, 127);
  auto seen = [&](int x, int y) {
    return getpixel(frame, area_x + logo.left + x, area_y + logo.top + y);
  };
  for (int y = 0; y < logo.height; y++) {
    int expected = darkened(border, y < 33 ? 0 : 1);
    EXPECT_EQ(seen(0, y), expected) << "row " << y;
    EXPECT_EQ(seen(logo.width - 1, y), expected) << "row " << y;
  }
  for (int x = 0; x < logo.width; x++) {
    EXPECT_EQ(seen(x, 0), border) << "column " << x;
    EXPECT_EQ(seen(x, logo.height - 1), darkened(border, 1)) << "column " << x;
  }
}

TEST(LogoScene, FadeLeavesMaskAndBlackPixelsAlone)
{
  prepare_show();
  // The lower half of the first two stripes: transparent, then black.
  rectfill(logo_image, 0, 142, 159, logo_height - 1, MASK_COLOR_16);
  rectfill(logo_image, 160, 142, 319, logo_height - 1, 0);
  record_refreshes({170});
  logo_scene();

  // Frame 170: the 155 x 68 logo at (241, 108) lies wholly in the fade corner,
  // faded by 106. Mask pixels faded would turn opaque purple.
  BITMAP *frame = refresh_copy(170);
  int masked = 0, black = 0;
  for (int y = 40; y < 66; y++)
    for (int x = 0; x < 155; x++) {
      int sx = area_x + 241 + x, sy = area_y + 108 + y;
      if (x >= 2 && x < 36)
        masked += getpixel(frame, sx, sy) == getpixel(background_page, sx, sy);
      if (x >= 42 && x < 75)
        black += getpixel(frame, sx, sy) == 0;
    }
  EXPECT_EQ(masked, 26 * 34);
  EXPECT_EQ(black, 26 * 33);
  drawn_logo logo = find_logo(frame);
  EXPECT_EQ(fades_seen(frame, logo, logo.top + logo.height / 4), std::vector<int>{106})
      << "the stripes around them are faded";
}

TEST(LogoScene, BackdropAloneFromFrame305On)
{
  prepare_show();
  std::vector<int64_t> frames;
  for (int n = 304; n <= 321; n++)
    frames.push_back(n);
  record_refreshes(frames);
  logo_scene();
  EXPECT_EQ(find_logo(refresh_copy(304)).pixels, 4) << "a last 4 x 1 sliver";
  for (int n = 305; n <= 321; n++)
    EXPECT_TRUE(same_pixels(refresh_copy(n), background_page)) << "frame " << n;
}

TEST(LogoScene, Shows321FramesFlippingOnceEachAndSavesTheField)
{
  prepare_show();
  std::vector<int> shown_from;
  record_refreshes({}, [&](int64_t, BITMAP *) { shown_from.push_back(back_page_index); });
  watch_bitmaps();
  logo_scene();

  EXPECT_EQ(pages_shown, 321);
  ASSERT_EQ(shown_from.size(), 321u);
  for (size_t i = 0; i < shown_from.size(); i++)
    ASSERT_EQ(shown_from[i], i % 2 == 0 ? 1 : 0) << "frame " << i + 1;
  EXPECT_EQ(back_page_index, 0);
  ASSERT_EQ(bitmaps_made.size(), 3u);
  for (const made_bitmap &made : bitmaps_made) {
    EXPECT_EQ(made.w, logo_width);
    EXPECT_EQ(made.h, logo_height);
  }
  EXPECT_EQ(bitmaps_destroyed, made_pointers());
  EXPECT_TRUE(same_pixels(background_page, expected_field_frame()));
}

TEST(LogoScene, EscapeHeldShowsOneFullSizeFrame)
{
  prepare_show();
  key[KEY_ESC] = 1;
  record_refreshes({1});
  watch_bitmaps();
  logo_scene();

  EXPECT_EQ(pages_shown, 1);
  EXPECT_EQ(back_page_index, 0);
  EXPECT_EQ(bitmaps_made.size(), 3u);
  EXPECT_EQ(bitmaps_destroyed, made_pointers());
  EXPECT_EQ(find_logo(refresh_copy(1)).pixels, long(logo_width) * logo_height);
  EXPECT_TRUE(same_pixels(background_page, expected_field_frame()));
}

class LogoSceneWithoutScratch : public testing::TestWithParam<int> {};

TEST_P(LogoSceneWithoutScratch, SkipsItsFramesButSavesTheField)
{
  prepare_show();
  record_refreshes({});
  watch_bitmaps();
  failing_bitmap_creation = GetParam();
  logo_scene();

  EXPECT_EQ(pages_shown, 0);
  EXPECT_EQ(back_page_index, 1);
  EXPECT_EQ(bitmaps_made.size(), 2u);
  EXPECT_EQ(bitmaps_destroyed, made_pointers()) << "the two that were made are freed";
  EXPECT_TRUE(same_pixels(background_page, expected_field_frame()));
}

INSTANTIATE_TEST_SUITE_P(EachScratchBitmap, LogoSceneWithoutScratch, testing::Values(1, 2, 3));

}  // namespace
