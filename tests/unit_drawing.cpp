// The fast drawing routines against the library's own, pixel for pixel.
#include <gtest/gtest.h>

#include <cstdlib>

#include "headless.h"
#include "show/drawing.h"

namespace {

// Random pixels, about a third of them the mask colour.
BITMAP *noise_bitmap(int w, int h, int depth = 16)
{
  BITMAP *bmp = create_bitmap_ex(depth, w, h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      putpixel(bmp, x, y, rand() % 3 == 0 ? bitmap_mask_color(bmp) : rand() & 0xffff);
  return bmp;
}

// Draws with the library on a noisy w x h target and with the fast routine on
// a copy of it (draw gets the target and which one to use); true when both
// end up with the same pixels. A clipped target clips inside on every side.
template <class Draw>
bool draws_alike(int w, int h, int depth, bool clipped, Draw draw)
{
  BITMAP *library = noise_bitmap(w, h, depth);
  BITMAP *fast = create_bitmap_ex(depth, w, h);
  blit(library, fast, 0, 0, 0, 0, w, h);
  for (BITMAP *bmp : {library, fast})
    if (clipped)
      set_clip_rect(bmp, 7, 11, w - 13, h - 5);
  draw(library, false);
  draw(fast, true);
  const bool same = same_pixels(library, fast);
  destroy_bitmap(library);
  destroy_bitmap(fast);
  return same;
}

// From wholly off the left and top edges to wholly off the right and bottom,
// into sub-bitmaps, and at a depth the fast path leaves to the library.
TEST(DrawSpriteFast, DrawsWhatTheLibraryDrawsWhereverTheSpriteLands)
{
  start_headless();
  srand(3);
  for (int n = 0; n < 400; n++) {
    const int w = 1 + rand() % 90, h = 1 + rand() % 60, depth = n % 5 == 4 ? 32 : 16;
    BITMAP *sprite = noise_bitmap(w, h, depth);
    const int x = rand() % 260 - 100, y = rand() % 200 - 70;
    ASSERT_TRUE(draws_alike(160, 120, depth, n % 2, [&](BITMAP *target, bool use_fast) {
      BITMAP *part = n % 3 ? target : create_sub_bitmap(target, 30, 20, 50, 40);
      (use_fast ? draw_sprite_fast : draw_sprite)(part, sprite, x, y);
      if (part != target)
        destroy_bitmap(part);
    })) << w << "x" << h << " at " << x << "," << y << " case " << n;
    destroy_bitmap(sprite);
  }
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
    ASSERT_TRUE(draws_alike(200, 150, 16, n % 2, [&](BITMAP *target, bool use_fast) {
      (use_fast ? stretch_blit_fast : stretch_blit)(source, target, sx, sy, sw, sh, dx, dy, dw, dh);
    })) << sx << "," << sy << " " << sw << "x" << sh << " to " << dx << "," << dy << " " << dw
        << "x" << dh;
  }
}

// Free flight's clear of the squares its stars drew in: clipped on every
// side, and empty.
TEST(FillRectFast, FillsWhatRectfillFills)
{
  start_headless();
  srand(17);
  for (int n = 0; n < 300; n++) {
    const int x = rand() % 260 - 30, y = rand() % 200 - 30, w = rand() % 40 - 2, h = rand() % 40 - 2;
    ASSERT_TRUE(draws_alike(200, 150, 16, n % 2, [&](BITMAP *target, bool use_fast) {
      if (use_fast)
        fill_rect_fast(target, x, y, w, h, 0);
      else if (w > 0 && h > 0)
        rectfill(target, x, y, x + w - 1, y + h - 1, 0);
    })) << w << "x" << h << " at " << x << "," << y;
  }
}

// The logo's copy of the field's squares: clipped on every side, by a
// source smaller than the target too, and empty.
TEST(CopyRectFast, CopiesWhatBlitCopies)
{
  start_headless();
  srand(19);
  BITMAP *source = noise_bitmap(180, 130);
  for (int n = 0; n < 300; n++) {
    const int x = rand() % 260 - 30, y = rand() % 200 - 30, w = rand() % 40 - 2, h = rand() % 40 - 2;
    ASSERT_TRUE(draws_alike(200, 150, 16, n % 2, [&](BITMAP *target, bool use_fast) {
      if (use_fast)
        copy_rect_fast(source, target, x, y, w, h);
      else
        blit(source, target, x, y, x, y, w, h);
    })) << w << "x" << h << " at " << x << "," << y;
  }
}

// The crawl's slant: each panel's rows at every narrower width.
TEST(StretchBlitFast, SlantsEachCrawlPanelLikeTheLibrary)
{
  start_headless();
  srand(13);
  BITMAP *source = noise_bitmap(926, 1);
  for (int width : {926, 887, 800})
    for (int narrower = 1; narrower <= width; narrower++)
      ASSERT_TRUE(draws_alike(926, 1, 16, false, [&](BITMAP *target, bool use_fast) {
        (use_fast ? stretch_blit_fast : stretch_blit)(source, target, 0, 0, width, 1,
                                                      width / 2 - narrower / 2, 0, narrower, 1);
      })) << width << " into " << narrower;
}

}  // namespace
