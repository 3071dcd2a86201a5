#include "headless.h"

#include <cerrno>
#include <cstdlib>

#include "platform/platform.h"
#include "show/pages.h"

static GFX_DRIVER stand_in_driver;

void start_headless(int w, int h)
{
  install_allegro(SYSTEM_NONE, &errno, atexit);
  set_color_depth(16);
  // The 5-6-5 layout that X11 gives a 16-bit display (the library without a
  // driver would put blue in the high bits).
  _rgb_r_shift_16 = 11;
  _rgb_g_shift_16 = 5;
  _rgb_b_shift_16 = 0;
  stand_in_driver.name = stand_in_driver.desc = stand_in_driver.ascii_name = "stand-in";
  stand_in_driver.w = w;
  stand_in_driver.h = h;
  gfx_driver = &stand_in_driver;
  screen = create_bitmap(w, h);
  clear_bitmap(screen);
  pacing_enabled = false;
  choose_page_kind();
}

void create_headless_pages()
{
  back_page_index = 1;
  reserve_pages[0] = create_page();
  reserve_pages[1] = create_page();
  background_page = create_page();
  flip_pages[0] = create_page();
  flip_pages[1] = create_page();
  clear_bitmap(flip_pages[0]);
  clear_bitmap(flip_pages[1]);
}

BITMAP *filled_bitmap(int w, int h, int colour)
{
  BITMAP *bmp = create_bitmap(w, h);
  clear_to_color(bmp, colour);
  return bmp;
}

long count_other_than(BITMAP *bmp, int colour)
{
  long count = 0;
  for (int y = 0; y < bmp->h; y++)
    for (int x = 0; x < bmp->w; x++)
      if (getpixel(bmp, x, y) != colour)
        count++;
  return count;
}

bool same_pixels(BITMAP *a, BITMAP *b)
{
  if (a->w != b->w || a->h != b->h)
    return false;
  for (int y = 0; y < a->h; y++)
    for (int x = 0; x < a->w; x++)
      if (getpixel(a, x, y) != getpixel(b, x, y))
        return false;
  return true;
}
