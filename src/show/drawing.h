// The library's draw_sprite and stretch_blit for the show's hot paths. Between
// 16-bit memory bitmaps that clip, the same pixels are drawn here by plain
// loops over rows, several times faster than the library's generic routines;
// any other bitmap goes to the library.
#pragma once

#include <allegro.h>

#include <cstdint>

// Row y of a 16-bit memory bitmap, as pixels.
inline uint16_t *pixel_row(BITMAP *bmp, int y)
{
  return reinterpret_cast<uint16_t *>(bmp->line[y]);
}

// draw_sprite: sprite's top-left corner at (x, y), its MASK_COLOR_16 pixels
// transparent, clipped to target's clipping rectangle.
void draw_sprite_fast(BITMAP *target, BITMAP *sprite, int x, int y);

// blit of the w x h rectangle with its top-left corner at (x, y) to the same
// place in target, clipped to source's size and target's clipping rectangle.
void copy_rect_fast(BITMAP *source, BITMAP *target, int x, int y, int w, int h);

// rectfill of the w x h rectangle with its top-left corner at (x, y),
// clipped to target's clipping rectangle.
void fill_rect_fast(BITMAP *target, int x, int y, int w, int h, int colour);

// n pixels of a row stretched from sw pixels to dw, from pixel begin on, as
// the library's stretch_blit picks them: to[i] = from[floor((begin + i) * sw / dw)].
void stretch_row(const uint16_t *from, int sw, int dw, int begin, int n, uint16_t *to);

// The first of the dw columns of a row stretched from sw whose source column
// is source_column or further right, as stretch_row picks them; dw if none.
int first_column_from(int sw, int dw, int source_column);

// The columns [begin, end) of row y of a 16-bit memory bitmap that are not
// MASK_COLOR_16; begin == end when there are none.
struct opaque_columns {
  int begin, end;
};
opaque_columns opaque_columns_of(BITMAP *bmp, int y);

// to[i] = from[i] wherever from[i] is not MASK_COLOR_16, as draw_sprite does.
void draw_masked_row(const uint16_t *from, int n, uint16_t *to);
