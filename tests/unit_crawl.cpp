#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>

#include "field/points.h"
#include "field/projection.h"
#include "field/renderer.h"
#include "headless.h"
#include "platform/platform.h"
#include "scenes/crawl.h"
#include "show/assets.h"
#include "show/pages.h"
#include "show/sequence.h"

namespace {

constexpr std::array<int, panel_count> start_frames = {25, 355, 775};

// Random pixels: about an eighth each the mask colour and black.
BITMAP *noise_bitmap(int w, int h)
{
  BITMAP *bmp = create_bitmap(w, h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      const int pick = rand() % 8;
      putpixel(bmp, x, y, pick == 0 ? MASK_COLOR_16 : pick == 1 ? 0 : rand() & 0xffff);
    }
  return bmp;
}

// Everything start-up leaves for the scene, at the sizes it makes them,
// with text images of noise, so that every pixel a pass leaves shows.
void prepare_show()
{
  start_headless();
  create_headless_pages();
  crawl_centre_x = SCREEN_W / 2;
  point_colour_light = makecol16(95, 95, 207);
  point_colour_dark = makecol16(15, 15, 107);
  for (BITMAP *&sprite : star_sprites)
    sprite = filled_bitmap(star_sprite_size, star_sprite_size, makecol16(255, 255, 255));
  srand(5);
  for (int k = 0; k < panel_count; k++) {
    text_panels[k] = noise_bitmap(panel_widths[k], panel_heights[k]);
    panel_slanted[k] = filled_bitmap(panel_widths[k], panel_heights[k], 0);
    panel_squashed[k] = filled_bitmap(panel_widths[k], panel_heights[k], 0);
  }
  backdrop_canvas = create_bitmap(SCREEN_W, SCREEN_H);
  frame_canvas = filled_bitmap(SCREEN_W, SCREEN_H, 0);
  populate_field();
  key[KEY_ESC] = 0;
}

// The scene as plainly as it can be drawn, with the library's own routines,
// on bitmaps of its own: every iteration clears panels 1 and 2, slants every
// row, restores the whole rectangle, squashes every row.
struct plain_crawl {
  crawl_panel panels[panel_count];
  BITMAP *canvas, *backdrop, *slanted[panel_count], *squashed[panel_count];
};

plain_crawl start_plain()
{
  plain_crawl c;
  c.canvas = create_bitmap(SCREEN_W, SCREEN_H);
  c.backdrop = create_bitmap(SCREEN_W, SCREEN_H);
  blit(frame_canvas, c.canvas, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
  blit(frame_canvas, c.backdrop, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
  for (int k = 0; k < panel_count; k++) {
    c.panels[k] = crawl_panels[k];
    c.slanted[k] = filled_bitmap(panel_widths[k], panel_heights[k], 0);
    c.squashed[k] = filled_bitmap(panel_widths[k], panel_heights[k], 0);
  }
  return c;
}

void plain_panel_step(plain_crawl &c, int k, int crawl_frame)
{
  crawl_panel &p = c.panels[k];
  const bool running = crawl_frame > start_frames[k], compose = crawl_frame % 2 == 1;
  if (running) {
    p.y -= 0.5;
    p.z += 0.01;
  }
  project_flat(0.0, p.y, p.z);
  const int top = proj_y;
  if (running) {
    if (int(p.z * 100.0) % 18 == 1)
      p.squashed_height--;
    if (!compose)
      p.shrink_phase++;
    if (p.shrink_phase == 3) {
      p.shrink_phase = 0;
      p.base_width -= 2;
    }
  }
  if (k != 0)
    clear_to_color(c.slanted[k], MASK_COLOR_16);
  if (compose) {
    int row_width = p.base_width, row_phase = p.shrink_phase;
    for (int r = p.height; r >= 0; r--) {
      if (++row_phase == 3) {
        row_phase = 0;
        row_width -= 2;
      }
      if (r < p.height && row_width > 0)
        stretch_blit(text_panels[k], c.slanted[k], 0, r, p.width, 1,
                     p.half_width - row_width / 2, r, row_width, 1);
    }
  }
  const int left = crawl_centre_x - p.half_width;
  blit(c.backdrop, c.canvas, left, top, left, top, crawl_centre_x + p.half_width, p.height + top);
  if (p.squashed_height > 0)
    stretch_blit(c.slanted[k], c.squashed[k], 0, 0, p.width, p.height, 0, 0, p.width,
                 p.squashed_height);
  line(c.squashed[k], 0, p.squashed_height + 1, p.width, p.squashed_height + 1, MASK_COLOR_16);
  if (running && compose)
    draw_sprite(c.canvas, c.squashed[k], left, top);
}

bool same_canvas(BITMAP *a, BITMAP *b)
{
  for (int y = 0; y < SCREEN_H; y++)
    if (std::memcmp(a->line[y], b->line[y], size_t(SCREEN_W) * 2) != 0)
      return false;
  return true;
}

bool same_records(const crawl_panel &a, const crawl_panel &b)
{
  return a.shrink_phase == b.shrink_phase && a.base_width == b.base_width &&
         a.squashed_height == b.squashed_height && a.y == b.y && a.z == b.z;
}

// All 1325 frames, pixel for pixel, and the records after every iteration.
// The noise shows what the scene keeps from pass to pass: the edges of
// panel 0's earlier, wider passes, the row each squash leaves below itself,
// the panel pixels a restore that ends too high leaves behind.
TEST(CrawlScene, ShowsWhatThePlainPassesShowInEveryFrame)
{
  prepare_show();
  start_crawl();
  plain_crawl plain = start_plain();
  int wrong_frames = 0, first_wrong = 0, wrong_records = 0;
  for (int i = 1; i <= 2651; i++) {
    run_crawl_iteration(i);
    if (i % 2 == 0 && !same_canvas(screen, plain.canvas) && wrong_frames++ == 0)
      first_wrong = i / 2;
    for (int k = 0; k < panel_count; k++) {
      plain_panel_step(plain, k, i);
      wrong_records += !same_records(crawl_panels[k], plain.panels[k]);
    }
  }
  EXPECT_EQ(pages_shown, 1325);
  EXPECT_EQ(wrong_frames, 0) << "the first is frame " << first_wrong;
  EXPECT_EQ(wrong_records, 0);
  // Each panel loses a row in its first running iteration, where z is 0.01,
  // and every 18 iterations after; every third show iteration takes 2
  // columns off its width.
  for (int k = 0; k < panel_count; k++) {
    const int running = 2651 - start_frames[k], shown = (running + 1) / 2;
    EXPECT_EQ(crawl_panels[k].squashed_height, panel_heights[k] - (running + 17) / 18) << k;
    EXPECT_EQ(crawl_panels[k].base_width, panel_widths[k] - 2 * (shown / 3)) << k;
    EXPECT_EQ(crawl_panels[k].y, 384.0 - 0.5 * running) << k;
  }
}

TEST(CrawlScene, EscapeHeldOnEntryShowsNothingAndLeavesTheField)
{
  prepare_show();
  key[KEY_ESC] = 1;
  srand(7);
  crawl_scene();
  EXPECT_EQ(pages_shown, 0);
  BITMAP *field = filled_bitmap(SCREEN_W, SCREEN_H, 0);
  srand(7);
  draw_field(field);
  EXPECT_TRUE(same_pixels(frame_canvas, field));
  EXPECT_TRUE(same_pixels(backdrop_canvas, field));
}

}  // namespace
