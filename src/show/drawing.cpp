#include "show/drawing.h"

#include <allegro/internal/aintern.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

// Rows of 16-bit pixels in memory that the library draws with its linear
// routines: memory bitmaps, and the video pages of the show's displays,
// which are memory too.
static bool is_plain_16(BITMAP *bmp)
{
  return bmp->vtable == _get_vtable(16);
}

// The part of [at, at + size) inside [low, high).
struct span {
  int begin, end;
  bool empty() const { return begin >= end; }
};

static span clipped(int at, int size, int low, int high)
{
  return {std::max(at, low), std::min(at + size, high)};
}

// A select the compiler turns into vector compares and blends.
void draw_masked_row(const uint16_t *from, int n, uint16_t *to)
{
  for (int i = 0; i < n; i++)
    to[i] = from[i] == MASK_COLOR_16 ? to[i] : from[i];
}

void draw_sprite_fast(BITMAP *target, BITMAP *sprite, int x, int y)
{
  if (!is_plain_16(target) || !is_plain_16(sprite) || !target->clip) {
    draw_sprite(target, sprite, x, y);
    return;
  }
  const span cols = clipped(x, sprite->w, target->cl, target->cr);
  const span rows = clipped(y, sprite->h, target->ct, target->cb);
  if (cols.empty() || rows.empty())
    return;
  for (int ty = rows.begin; ty < rows.end; ty++)
    draw_masked_row(pixel_row(sprite, ty - y) + (cols.begin - x), cols.end - cols.begin,
                    pixel_row(target, ty) + cols.begin);
}

void copy_rect_fast(BITMAP *source, BITMAP *target, int x, int y, int w, int h)
{
  if (!is_plain_16(source) || !is_plain_16(target) || !target->clip) {
    blit(source, target, x, y, x, y, w, h);
    return;
  }
  const span cols = clipped(x, w, std::max(target->cl, 0), std::min(target->cr, source->w));
  const span rows = clipped(y, h, std::max(target->ct, 0), std::min(target->cb, source->h));
  if (cols.empty() || rows.empty())
    return;
  for (int ty = rows.begin; ty < rows.end; ty++)
    std::memmove(pixel_row(target, ty) + cols.begin, pixel_row(source, ty) + cols.begin,
                 size_t(cols.end - cols.begin) * sizeof(uint16_t));
}

void fill_rect_fast(BITMAP *target, int x, int y, int w, int h, int colour)
{
  if (!is_plain_16(target) || !target->clip) {
    if (w > 0 && h > 0)
      rectfill(target, x, y, x + w - 1, y + h - 1, colour);
    return;
  }
  const span cols = clipped(x, w, target->cl, target->cr);
  const span rows = clipped(y, h, target->ct, target->cb);
  if (cols.empty() || rows.empty())
    return;
  for (int ty = rows.begin; ty < rows.end; ty++) {
    uint16_t *row = pixel_row(target, ty);
    std::fill(row + cols.begin, row + cols.end, uint16_t(colour));
  }
}

// The library's stretch gives the pixel at column i and row j of the target
// rectangle the source pixel at column sx + floor(i * sw / dw) and row
// sy + floor(j * sh / dh). The column is followed here by a 32.32 fixed-point
// step, rounded up: for widths below 2^16, as every width the show stretches
// is, its error stays below 1 / dw, too small to move the floor.
static constexpr uint64_t one_column = uint64_t(1) << 32;
// A shrink by less than this takes runs of at least 32 source columns in a
// row, long enough to copy each run whole rather than pixel by pixel.
static constexpr uint64_t longest_step_in_runs = one_column + one_column / 32;

static uint64_t stretch_step(int sw, int dw)
{
  return ((uint64_t(sw) << 32) + uint64_t(dw) - 1) / uint64_t(dw);
}

// Column i takes source column (i * step) >> 32, which is source_column or
// more from i = ceil((source_column << 32) / step) on.
int first_column_from(int sw, int dw, int source_column)
{
  const uint64_t step = stretch_step(sw, dw);
  const uint64_t i = ((uint64_t(source_column) << 32) + step - 1) / step;
  return int(std::min(i, uint64_t(dw)));
}

opaque_columns opaque_columns_of(BITMAP *bmp, int y)
{
  const uint16_t *row = pixel_row(bmp, y);
  int begin = 0, end = bmp->w;
  while (begin < end && row[begin] == MASK_COLOR_16)
    begin++;
  while (end > begin && row[end - 1] == MASK_COLOR_16)
    end--;
  return {begin, end};
}

void stretch_row(const uint16_t *from, int sw, int dw, int begin, int n, uint16_t *to)
{
  const uint64_t step = stretch_step(sw, dw);
  uint64_t at = uint64_t(begin) * step;
  if (step == one_column) {
    std::memcpy(to, from + (at >> 32), size_t(n) * sizeof(uint16_t));
    return;
  }
  if (step > one_column && step < longest_step_in_runs) {
    // The source column goes up by one each step until the fraction
    // carries, which skips one. After the first run the fraction is below
    // extra, and a run is the longest or one shorter.
    const uint64_t extra = step - one_column;
    const uint64_t longest = (one_column + extra - 1) / extra;
    uint64_t run = (one_column - (at & (one_column - 1)) + extra - 1) / extra;
    for (int i = 0; i < n;) {
      const int length = int(std::min(run, uint64_t(n - i)));
      std::memcpy(to + i, from + (at >> 32), size_t(length) * sizeof(uint16_t));
      i += length;
      at += uint64_t(length) * step;
      const uint64_t fraction = at & (one_column - 1);
      run = fraction + (longest - 1) * extra >= one_column ? longest - 1 : longest;
    }
    return;
  }
  // Four columns at a time, each followed on its own, so that the steps do
  // not wait for one another.
  const uint64_t step4 = 4 * step;
  uint64_t at1 = at + step, at2 = at + 2 * step, at3 = at + 3 * step;
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    to[i] = from[at >> 32];
    to[i + 1] = from[at1 >> 32];
    to[i + 2] = from[at2 >> 32];
    to[i + 3] = from[at3 >> 32];
    at += step4;
    at1 += step4;
    at2 += step4;
    at3 += step4;
  }
  for (; i < n; i++, at += step)
    to[i] = from[at >> 32];
}
