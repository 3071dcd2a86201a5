#include "headless.h"

#include "platform/offscreen/offscreen.h"
#include "platform/platform.h"
#include "show/pages.h"

void start_headless(int w, int h)
{
  set_offscreen_mode(w, h);
}

void create_headless_pages()
{
  back_page_index = 1;
  flip_pages[0] = create_page();
  flip_pages[1] = create_page();
  reserve_pages[0] = create_page();
  reserve_pages[1] = create_page();
  background_page = create_page();
  clear_bitmap(flip_pages[0]);
  clear_bitmap(flip_pages[1]);
}

BITMAP *filled_bitmap(int w, int h, int colour)
{
  BITMAP *bmp = create_bitmap(w, h);
  clear_to_color(bmp, colour);
  return bmp;
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
