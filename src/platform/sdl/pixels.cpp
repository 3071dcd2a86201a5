// The picture drawn by the processor into the window's own pixels: copied
// where the window has the picture's size and format, widened straight into
// an 8-8-8 window at its own size and whole multiples, else widened to 8-8-8,
// scaled by SDL's own scalers, sharp or smooth, and converted to the window's
// format where that is another.
#include <allegro.h>

#include <cstdint>
#include <cstring>

#include "platform/sdl/sdl.h"

static SDL_Surface *widened;  // the picture in 8-8-8, at its own size
static SDL_Surface *scaled;   // the picture scaled, for a window of another format

// 5-6-5 to 8-8-8 by repeating each field's top bits, which a 16-bit
// display's conversion undoes exactly.
static inline uint32_t widened_pixel(uint32_t p)
{
  const uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
  return ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}

static void widen_row(const uint16_t *__restrict from, uint32_t *__restrict to, int n)
{
  for (int x = 0; x < n; x++)
    to[x] = widened_pixel(from[x]);
}

static void widen_into(BITMAP *picture, unsigned char *to, int pitch)
{
  const int w = picture->w, h = picture->h;  // locals, so the stores cannot move them
  for (int y = 0; y < h; y++)
    widen_row(reinterpret_cast<const uint16_t *>(picture->line[y]),
              reinterpret_cast<uint32_t *>(to + size_t(y) * size_t(pitch)), w);
}

// Each pixel `times` times across, each row `times` times down: a large
// screen's sharp picture in one pass over what it writes.
static void widen_multiplied_into(BITMAP *picture, unsigned char *to, int pitch, int times)
{
  const int w = picture->w, h = picture->h;
  const size_t row_bytes = size_t(w) * size_t(times) * 4;
  for (int y = 0; y < h; y++) {
    const auto *from = reinterpret_cast<const uint16_t *>(picture->line[y]);
    unsigned char *first = to + size_t(y) * size_t(times) * size_t(pitch);
    auto *out = reinterpret_cast<uint32_t *>(first);
    if (times == 1) {
      widen_row(from, out, w);
    } else if (times == 2) {
      for (int x = 0; x < w; x++) {
        const uint32_t p = widened_pixel(from[x]);
        out[2 * x] = p;
        out[2 * x + 1] = p;
      }
    } else {
      for (int x = 0; x < w; x++) {
        const uint32_t p = widened_pixel(from[x]);
        for (int k = 0; k < times; k++)
          *out++ = p;
      }
    }
    for (int k = 1; k < times; k++)
      std::memcpy(first + size_t(k) * size_t(pitch), first, row_bytes);
  }
}

// A w x h 8-8-8 surface kept in `kept`, made anew only when the size changes.
static SDL_Surface *surface_of(SDL_Surface *&kept, int w, int h)
{
  if (kept && (kept->w != w || kept->h != h)) {
    SDL_FreeSurface(kept);
    kept = nullptr;
  }
  if (!kept)
    kept = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGB888);
  return kept;
}

static void paint_bars(SDL_Surface *target, const SDL_Rect &r)
{
  const SDL_Rect bars[] = {{0, 0, target->w, r.y},
                           {0, r.y + r.h, target->w, target->h - r.y - r.h},
                           {0, r.y, r.x, r.h},
                           {r.x + r.w, r.y, target->w - r.x - r.w, r.h}};
  for (const SDL_Rect &bar : bars)
    if (bar.w > 0 && bar.h > 0)
      SDL_FillRect(target, &bar, 0);
}

bool draw_into_surface(SDL_Surface *target, BITMAP *picture, const picture_fit &fit, bool with_bars)
{
  const SDL_Rect &r = fit.rect;
  if (r.x < 0 || r.y < 0 || r.x + r.w > target->w || r.y + r.h > target->h)
    return false;
  if (with_bars)
    paint_bars(target, r);
  const uint32_t format = target->format->format;
  const int bytes = target->format->BytesPerPixel;
  unsigned char *at = static_cast<unsigned char *>(target->pixels) + size_t(r.y) * size_t(target->pitch) +
                      size_t(r.x) * size_t(bytes);
  const bool own_size = r.w == picture->w && r.h == picture->h;
  if (own_size && format == SDL_PIXELFORMAT_RGB565) {
    for (int y = 0; y < r.h; y++)
      std::memcpy(at + size_t(y) * size_t(target->pitch), picture->line[y], size_t(r.w) * 2);
    return true;
  }
  if (fit.sharp && format == SDL_PIXELFORMAT_RGB888) {
    widen_multiplied_into(picture, at, target->pitch, r.w / picture->w);
    return true;
  }
  SDL_Surface *source = surface_of(widened, picture->w, picture->h);
  if (!source)
    return false;
  widen_into(picture, static_cast<unsigned char *>(source->pixels), source->pitch);
  if (!own_size) {
    const bool direct = format == SDL_PIXELFORMAT_RGB888;
    SDL_Surface *into = direct ? target : surface_of(scaled, r.w, r.h);
    if (!into)
      return false;
    SDL_Rect where = direct ? r : SDL_Rect{0, 0, r.w, r.h};
    const int failed = fit.sharp ? SDL_SoftStretch(source, nullptr, into, &where)
                                 : SDL_SoftStretchLinear(source, nullptr, into, &where);
    if (failed != 0)
      return false;
    if (direct)
      return true;
    source = into;
  }
  return SDL_ConvertPixels(r.w, r.h, SDL_PIXELFORMAT_RGB888, source->pixels, source->pitch, format, at,
                           target->pitch) == 0;
}
