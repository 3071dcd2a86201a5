// The scenes on test pictures: the logo's every pixel tells where it came
// from, and Escape cuts the title card and the crawl short. The frame hashes
// hold the real pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <vector>

#include "field/points.h"
#include "field/renderer.h"
#include "headless.h"
#include "platform/platform.h"
#include "refreshes.h"
#include "scenes/crawl.h"
#include "scenes/logo.h"
#include "scenes/title.h"
#include "show/assets.h"
#include "show/pages.h"
#include "show/sequence.h"
#include "system_hooks.h"

namespace {

constexpr int area_x = 190;
constexpr int area_y = 250;
constexpr unsigned field_seed = 7;

// Four upright stripes whose greens lie on every step of the 6-bit green,
// so that a faded colour tells the fade amount exactly; the first also
// frames the logo, and a fade of 1 shows in it. Red stays high: no faded
// logo colour matches the field.
std::array<int, 4> stripes;
int backdrop_fill;

void prepare_show()
{
  start_headless();
  create_headless_pages();
  point_colour_light = makecol16(95, 95, 207);
  point_colour_dark = makecol16(15, 15, 107);
  for (BITMAP *&sprite : star_sprites)
    sprite = filled_bitmap(star_sprite_size, star_sprite_size, makecol16(255, 255, 160));
  stripes = {makecol16(255, 60, 0), makecol16(255, 125, 0), makecol16(255, 190, 0),
             makecol16(255, 255, 132)};
  logo_image = filled_bitmap(logo_width, logo_height, stripes[0]);
  for (int k = 1; k < 4; k++)
    rectfill(logo_image, k * logo_width / 4, 4,
             std::min((k + 1) * logo_width / 4, logo_width - 4) - 1, logo_height - 5, stripes[k]);
  populate_field();
  // Not black, so that a page cleared before the field is drawn would show;
  // both pages alike, as start-up leaves them, since the other page gets
  // only the field's squares laid over what it holds.
  backdrop_fill = makecol16(48, 48, 48);
  for (BITMAP *page : flip_pages)
    clear_to_color(page, backdrop_fill);
  srand(field_seed);
}

// Whether background_page holds the field drawn over the back page's
// content from the point of the random sequence where the scene began.
bool saved_the_field()
{
  srand(field_seed);
  BITMAP *frame = filled_bitmap(SCREEN_W, SCREEN_H, backdrop_fill);
  draw_field(frame);
  return same_pixels(background_page, frame);
}

// The scratch bitmaps made were logo-sized and are all destroyed.
void expect_scratch_freed(size_t made)
{
  std::vector<BITMAP *> pointers;
  for (const made_bitmap &m : bitmaps_made) {
    EXPECT_TRUE(m.w == logo_width && m.h == logo_height);
    pointers.push_back(m.bmp);
  }
  EXPECT_EQ(pointers.size(), made);
  EXPECT_EQ(bitmaps_destroyed, pointers);
}

// The box, relative to the logo area, of the pixels that differ from the
// saved field frame, and how many they are.
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
  return {x0 - area_x, y0 - area_y, x1 - x0 + 1, y1 - y0 + 1, pixels};
}

int darkened(int colour, int amount)
{
  auto less = [amount](int c) { return std::max(c - amount, 0); };
  return makecol16(less(getr16(colour)), less(getg16(colour)), less(getb16(colour)));
}

// Row y of the logo shows each stripe faded by amount in its middle.
void expect_faded(BITMAP *frame, const drawn_logo &logo, int y, int amount)
{
  for (int k = 0; k < 4; k++) {
    const int x = area_x + logo.left + (2 * k + 1) * logo.width / 8;
    EXPECT_EQ(getpixel(frame, x, area_y + logo.top + y), darkened(stripes[k], amount))
        << "stripe " << k << " in row " << y;
  }
}

// Frames 305 and 321 fade by 248 and 253, but nothing of the logo is left.
struct table_row {
  int frame, squash, width, height, fade;
};
constexpr table_row table[] = {
    {1, 0, 639, 283, 0},     {2, 6, 632, 280, 0},     {107, 306, 294, 130, 0},
    {108, 311, 289, 127, 1}, {170, 430, 155, 68, 106}, {171, 431, 154, 67, 107},
    {305, 565, 3, 0, 0},     {321, 581, -14, -8, 0},
};

TEST(LogoScene, ShrinksAndFadesOver321FramesOnTheSavedField)
{
  prepare_show();
  std::vector<int64_t> frames;
  for (const table_row &row : table)
    frames.push_back(row.frame);
  record_refreshes(frames);
  watch_bitmaps();
  logo_scene();

  ASSERT_EQ(pages_shown, 321);
  EXPECT_EQ(back_page_index, 0) << "flipped once a frame, from 1";
  expect_scratch_freed(3);
  EXPECT_TRUE(saved_the_field());

  // Only the logo's box differs from the saved field: the mask colour
  // around the logo stays transparent through the fade.
  for (const table_row &row : table) {
    SCOPED_TRACE(testing::Message() << "frame " << row.frame);
    const drawn_logo logo = find_logo(refresh_copy(row.frame));
    if (row.width <= 0 || row.height <= 0) {
      EXPECT_EQ(logo.pixels, 0) << "nothing of the logo is left";
      continue;
    }
    EXPECT_EQ(std::pair(logo.width, logo.height), std::pair(row.width, row.height));
    EXPECT_EQ(logo.pixels, long(logo.width) * logo.height) << "the logo is one solid block";
    EXPECT_EQ(std::pair(logo.left, logo.top),
              std::pair(int(0.5625 * row.squash), (row.squash - row.squash / 2) - row.squash / 4))
        << "kept centred in the area";
    expect_faded(refresh_copy(row.frame), logo, logo.height / 2, row.fade);
  }
  BITMAP *first = create_sub_bitmap(refresh_copy(1), area_x, area_y, logo_width, logo_height);
  EXPECT_TRUE(same_pixels(first, logo_image)) << "at full size the logo is copied one to one";
  // Frame 108: the logo spans the fade corner's full width, columns 0 to 288,
  // and reaches 33 rows above it. Those rows keep their colours; the rest,
  // down to the layer's last row, fade by 1, as the logo's frame shows.
  const drawn_logo logo = find_logo(refresh_copy(108));
  for (int x : {0, 288})
    for (int y : {0, 32, 33, 126})
      EXPECT_EQ(getpixel(refresh_copy(108), area_x + logo.left + x, area_y + logo.top + y),
                darkened(stripes[0], y >= 33))
          << "frame 108, column " << x << ", row " << y;
}

// Escape held as the crawl begins: it shows nothing and leaves the field,
// drawn once, on both of its canvases.
TEST(CrawlScene, EscapeHeldOnEntryShowsNothingAndLeavesTheField)
{
  prepare_show();
  crawl_centre_x = SCREEN_W / 2;
  for (int k = 0; k < panel_count; k++) {
    text_panels[k] = filled_bitmap(panel_widths[k], panel_heights[k], stripes[k]);
    panel_slanted[k] = filled_bitmap(panel_widths[k], panel_heights[k], 0);
    panel_squashed[k] = filled_bitmap(panel_widths[k], panel_heights[k], 0);
  }
  backdrop_canvas = create_bitmap(SCREEN_W, SCREEN_H);
  frame_canvas = filled_bitmap(SCREEN_W, SCREEN_H, 0);
  key[KEY_ESC] = 1;
  crawl_scene();
  EXPECT_EQ(pages_shown, 0);
  BITMAP *field = filled_bitmap(SCREEN_W, SCREEN_H, 0);
  srand(field_seed);
  draw_field(field);
  EXPECT_TRUE(same_pixels(frame_canvas, field));
  EXPECT_TRUE(same_pixels(backdrop_canvas, field));
}

// Escape held ends the title card after the retrace it is seen at, and stays
// in the keyboard buffer for what comes next.
TEST(TitleCard, EscapeHeldEndsItAfterThatWaitAndStaysQueued)
{
  start_headless();
  title_image = filled_bitmap(title_width, title_height, makecol16(40, 40, 200));
  ASSERT_TRUE(install_stand_in_keyboard());
  simulate_keypress((KEY_ESC << 8) | 27);
  key[KEY_ESC] = 1;
  title_card();
  EXPECT_EQ(retrace_waits, 1);
  EXPECT_TRUE(keypressed()) << "Escape is read as a held key, not taken from the buffer";
  record_refreshes({}, [](int64_t n, BITMAP *) { key[KEY_ESC] = n == 40; });
  title_card();
  EXPECT_EQ(retrace_waits, 1 + 40);
}

}  // namespace
