#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "headless.h"
#include "show/drawing.h"

namespace {

// Random pixels, about a third of them the mask colour.
BITMAP *noise_bitmap(int w, int h, int depth = 16)
{
  BITMAP *bmp = create_bitmap_ex(depth, w, h);
  const int mask = bitmap_mask_color(bmp);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      putpixel(bmp, x, y, rand() % 3 == 0 ? mask : rand() & 0xffff);
  return bmp;
}

bool same_rows(BITMAP *a, BITMAP *b)
{
  const size_t bytes = size_t(a->w) * size_t(bitmap_color_depth(a) / 8);
  for (int y = 0; y < a->h; y++)
    if (std::memcmp(a->line[y], b->line[y], bytes) != 0)
      return false;
  return true;
}

// Two equal targets, one for the library and one for the routine under test;
// every other pair gets a clipping rectangle inside the bitmap.
struct target_pair {
  BITMAP *library;
  BITMAP *fast;
};

target_pair fresh_targets(int w, int h, int depth, bool clip_inside)
{
  target_pair t = {noise_bitmap(w, h, depth), create_bitmap_ex(depth, w, h)};
  blit(t.library, t.fast, 0, 0, 0, 0, w, h);
  for (BITMAP *bmp : {t.library, t.fast})
    if (clip_inside)
      set_clip_rect(bmp, 7, 11, w - 13, h - 5);
  return t;
}

void drop(target_pair t)
{
  destroy_bitmap(t.library);
  destroy_bitmap(t.fast);
}

TEST(DrawSpriteFast, DrawsWhatTheLibraryDrawsWhereverTheSpriteLands)
{
  start_headless();
  srand(3);
  for (int n = 0; n < 400; n++) {
    const int w = 1 + rand() % 90, h = 1 + rand() % 60;
    BITMAP *sprite = noise_bitmap(w, h);
    // From wholly off the left and top edges to wholly off the right and bottom.
    const int x = rand() % 260 - 100, y = rand() % 200 - 70;
    target_pair t = fresh_targets(160, 120, 16, n % 2 == 1);
    draw_sprite(t.library, sprite, x, y);
    draw_sprite_fast(t.fast, sprite, x, y);
    ASSERT_TRUE(same_rows(t.library, t.fast)) << w << "x" << h << " at " << x << "," << y;
    drop(t);
    destroy_bitmap(sprite);
  }
}

TEST(DrawSpriteFast, DrawsIntoSubBitmapsAndOtherDepthsAsTheLibraryDoes)
{
  start_headless();
  srand(5);
  BITMAP *sprite = noise_bitmap(40, 30);
  target_pair t = fresh_targets(160, 120, 16, false);
  BITMAP *library_part = create_sub_bitmap(t.library, 30, 20, 50, 40);
  BITMAP *fast_part = create_sub_bitmap(t.fast, 30, 20, 50, 40);
  draw_sprite(library_part, sprite, 25, -6);
  draw_sprite_fast(fast_part, sprite, 25, -6);
  EXPECT_TRUE(same_rows(t.library, t.fast));

  BITMAP *sprite_32 = noise_bitmap(40, 30, 32);
  target_pair t32 = fresh_targets(160, 120, 32, false);
  draw_sprite(t32.library, sprite_32, 130, 10);
  draw_sprite_fast(t32.fast, sprite_32, 130, 10);
  EXPECT_TRUE(same_rows(t32.library, t32.fast));
}

// Shrinking, growing and keeping either size, clipped on every side,
// including rectangles of no size at all.
TEST(StretchBlitFast, PicksThePixelsTheLibraryPicks)
{
  start_headless();
  srand(11);
  BITMAP *source = noise_bitmap(300, 240);
  for (int n = 0; n < 1000; n++) {
    const int sw = rand() % 300 - 2, sh = rand() % 240 - 2;
    const int dw = n % 3 == 0 ? sw : rand() % 400 - 2, dh = n % 4 == 0 ? sh : rand() % 260 - 2;
    const int sx = sw > 0 ? rand() % (301 - sw) : 0;
    const int sy = sh > 0 ? rand() % (241 - sh) : 0;
    const int dx = rand() % 400 - 200, dy = rand() % 300 - 150;
    target_pair t = fresh_targets(200, 150, 16, n % 2 == 1);
    stretch_blit(source, t.library, sx, sy, sw, sh, dx, dy, dw, dh);
    stretch_blit_fast(source, t.fast, sx, sy, sw, sh, dx, dy, dw, dh);
    ASSERT_TRUE(same_rows(t.library, t.fast)) << sx << "," << sy << " " << sw << "x" << sh
                                              << " to " << dx << "," << dy << " " << dw << "x" << dh;
    drop(t);
  }
}

// The crawl's shapes: each panel's rows at every narrower width, and its
// height squashed into every smaller one.
TEST(StretchBlitFast, SlantsAndSquashesEachPanelLikeTheLibrary)
{
  start_headless();
  srand(13);
  constexpr int panels[][2] = {{926, 119}, {887, 223}, {800, 155}};
  BITMAP *source = noise_bitmap(926, 223);
  for (auto [width, height] : panels) {
    target_pair rows = fresh_targets(926, 1, 16, false);
    for (int narrower = 1; narrower <= width; narrower++) {
      const int left = width / 2 - narrower / 2;
      stretch_blit(source, rows.library, 0, 0, width, 1, left, 0, narrower, 1);
      stretch_blit_fast(source, rows.fast, 0, 0, width, 1, left, 0, narrower, 1);
      ASSERT_TRUE(same_rows(rows.library, rows.fast)) << width << " into " << narrower;
    }
    target_pair squashes = fresh_targets(64, 223, 16, false);
    for (int squashed = 1; squashed <= height; squashed++) {
      stretch_blit(source, squashes.library, 0, 0, 64, height, 0, 0, 64, squashed);
      stretch_blit_fast(source, squashes.fast, 0, 0, 64, height, 0, 0, 64, squashed);
      ASSERT_TRUE(same_rows(squashes.library, squashes.fast)) << height << " into " << squashed;
    }
  }
}

}  // namespace
