#include <allegro.h>
#include <allegro/internal/aintern.h>

#include <cstdlib>

#include "platform/sdl/sdl.h"

// Laid out as the library lays out a memory bitmap, so its linear drawing
// routines work on it, but marked as video memory: the library then lets
// show_video_bitmap show it and hands it back to its driver to destroy.
// Both are allocated here, not through create_bitmap, so that nothing
// watching the library's own bitmaps counts them twice.
BITMAP *create_video_page(int w, int h)
{
  if (w <= 0 || h <= 0)
    return nullptr;
  const size_t rows = size_t(h < 2 ? 2 : h);
  auto *bmp = static_cast<BITMAP *>(std::malloc(sizeof(BITMAP) + sizeof(unsigned char *) * rows));
  auto *pixels = static_cast<unsigned char *>(std::malloc(size_t(w) * size_t(h) * 2));
  if (!bmp || !pixels) {
    std::free(bmp);
    std::free(pixels);
    return nullptr;
  }
  bmp->w = bmp->cr = w;
  bmp->h = bmp->cb = h;
  bmp->clip = TRUE;
  bmp->cl = bmp->ct = 0;
  bmp->vtable = _get_vtable(16);
  bmp->write_bank = bmp->read_bank = reinterpret_cast<void *>(_stub_bank_switch);
  bmp->dat = pixels;
  bmp->id = BMP_ID_VIDEO;
  bmp->extra = nullptr;
  bmp->x_ofs = bmp->y_ofs = 0;
  bmp->seg = _default_ds();
  for (int y = 0; y < h; y++)
    bmp->line[y] = pixels + size_t(y) * size_t(w) * 2;
  return bmp;
}

void destroy_video_page(BITMAP *bmp)
{
  std::free(bmp->dat);
  std::free(bmp);
}
