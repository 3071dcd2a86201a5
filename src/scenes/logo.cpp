#include "scenes/logo.h"

#include <allegro.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "field/renderer.h"
#include "platform/platform.h"
#include "show/assets.h"
#include "show/drawing.h"
#include "show/pages.h"

// Where the logo sits on the page, at full size.
static constexpr int area_x = 190;
static constexpr int area_y = 250;

static constexpr int32_t last_frame = 321;
// Up to this frame the logo shrinks along a sine, after it by one unit a frame.
static constexpr int32_t sine_frames = 170;
static constexpr float squash_step = 0.75f;
static constexpr double squash_range = 480;
// Columns of width the logo loses per unit of squash.
static constexpr double width_per_squash = 1.125;
// The fade starts once squash_angle has passed this.
static constexpr float fade_start_angle = 40;
static constexpr double fade_step = 0.39;
static constexpr double fade_range = 255;
static constexpr double radians_per_degree = 0.017453292519943295;

// The part of logo_layer that fades: its lower-left corner, bounds inclusive.
static constexpr int fade_last_column = 288;
static constexpr int fade_first_row = 189;
static constexpr int fade_last_row = 282;

static double sine_of_degrees(float angle)
{
  return std::sin(angle * radians_per_degree);
}

static int darkened(int component, int amount)
{
  return component - amount > 0 ? component - amount : 0;
}

// The fade of one frame as three tables, one per colour component, each
// giving that component's bits of the darkened pixel: getr16 and makecol16
// treat the components one by one, so this is the same colour.
struct fade_tables {
  uint16_t red[32], green[64], blue[32];
};

static fade_tables fade_for(int amount)
{
  fade_tables t;
  for (int c = 0; c < 32; c++) {
    t.red[c] = uint16_t(makecol16(darkened(getr16(c << _rgb_r_shift_16), amount), 0, 0));
    t.blue[c] = uint16_t(makecol16(0, 0, darkened(getb16(c << _rgb_b_shift_16), amount)));
  }
  for (int c = 0; c < 64; c++)
    t.green[c] = uint16_t(makecol16(0, darkened(getg16(c << _rgb_g_shift_16), amount), 0));
  return t;
}

// Darkens n pixels of a row of the layer. Mask pixels must stay transparent
// and black cannot get darker, so both are left alone.
static void fade_row(uint16_t *row, int n, const fade_tables &t, int black)
{
  for (int x = 0; x < n; x++) {
    const int pixel = row[x];
    if (pixel == MASK_COLOR_16 || pixel == black)
      continue;
    row[x] = uint16_t(t.red[(pixel >> _rgb_r_shift_16) & 31] |
                      t.green[(pixel >> _rgb_g_shift_16) & 63] |
                      t.blue[(pixel >> _rgb_b_shift_16) & 31]);
  }
}

// Each row of the logo image from its first to its last opaque pixel:
// outside these the layer is transparent. Found on the scene's first frame.
static opaque_columns logo_opaque[logo_height];

// The frame is built row by row: the layer's row is the logo's row shrunk
// (and faded in its lower-left corner), laid over the field's row in the
// composite. The layer is the logo's bottom-left corner at the squashed
// size, everything else in it transparent, so only the columns of each row
// that the logo's opaque pixels shrink to are ever made.
void run_logo_frame(logo_motion &m, const logo_scratch &scratch, int black)
{
  BITMAP *page = begin_flip();
  m.logo_frame++;
  if (m.logo_frame == 1)
    for (int y = 0; y < logo_height; y++)
      logo_opaque[y] = opaque_columns_of(logo_image, y);
  if (++m.step_toggle == 2) {
    m.step_toggle = 0;
    m.squash_angle += squash_step;
  }
  if (m.logo_frame <= sine_frames)
    m.squash = int32_t(squash_range * sine_of_degrees(m.squash_angle));
  else
    m.squash++;

  const int lost_rows = m.squash - m.squash / 2;
  const int logo_w = int(logo_width - width_per_squash * m.squash);
  const int logo_h = logo_height - lost_rows;
  const bool fading = m.squash_angle > fade_start_angle;
  fade_tables fade{};
  if (fading) {
    m.fade_phase = float(m.fade_phase + fade_step);
    fade = fade_for(int32_t(fade_range * sine_of_degrees(m.fade_phase)));
  }
  // Shifted right and up by half the shrink, so the logo stays centred.
  const int shift_x = int(width_per_squash * m.squash / 2);
  const int shift_y = -(m.squash / 4);
  // The layer's columns that land inside the composite.
  const int first = std::max(0, -shift_x);
  const int last = std::min(logo_w, logo_width - shift_x);

  for (int y = 0; y < logo_height; y++) {
    uint16_t *out = pixel_row(scratch.composite, y);
    std::memcpy(out, pixel_row(scratch.backdrop, y), logo_width * sizeof(uint16_t));
    const int layer_y = y - shift_y;
    if (logo_w <= 0 || logo_h <= 0 || layer_y < lost_rows || layer_y >= logo_height)
      continue;
    const int source_y = int(int64_t(layer_y - lost_rows) * logo_height / logo_h);
    const opaque_columns opaque = logo_opaque[source_y];
    const int from = std::max(first, first_column_from(logo_width, logo_w, opaque.begin));
    const int to = std::min(last, first_column_from(logo_width, logo_w, opaque.end));
    if (from >= to)
      continue;
    uint16_t *layer = pixel_row(scratch.layer, layer_y);
    stretch_row(pixel_row(logo_image, source_y), logo_width, logo_w, from, to - from, layer + from);
    if (fading && layer_y >= fade_first_row && layer_y <= fade_last_row && from <= fade_last_column)
      fade_row(layer + from, std::min(to, fade_last_column + 1) - from, fade, black);
    draw_masked_row(layer + from, to - from, out + from + shift_x);
  }

  blit(scratch.composite, page, 0, 0, area_x, area_y, logo_width, logo_height);
  end_flip();
}

void logo_scene()
{
  std::array<BITMAP *, 3> scratch;
  for (BITMAP *&bmp : scratch)
    bmp = create_bitmap(logo_width, logo_height);
  auto [logo_backdrop, logo_layer, logo_composite] = scratch;
  const int black = makecol16(0, 0, 0);

  // Drawn without clearing: the flip pages are still black from start-up.
  // The field is drawn and saved even when the scene cannot run, because
  // the show copies background_page later and the random sequence must
  // advance the same either way.
  BITMAP *page = flip_pages[back_page_index];
  field_squares drawn;
  draw_field(page, &drawn);
  blit(page, background_page, 0, 0, 0, 0, SCREEN_W, SCREEN_H);

  // Without all three scratch bitmaps there is nothing to compose with:
  // the scene shows no frame and the show goes on.
  if (logo_backdrop && logo_layer && logo_composite) {
    // The other page holds what this one held before the field (black from
    // start-up) and is not shown yet: the field's squares alone make it the
    // field frame too, so that every frame draws only the logo's area.
    for (int i = 0; i < field_points_drawn; i++)
      copy_rect_fast(page, flip_pages[1 - back_page_index], drawn.x[i], drawn.y[i], drawn.size[i],
                     drawn.size[i]);
    blit(page, logo_backdrop, area_x, area_y, 0, 0, logo_width, logo_height);
    logo_motion motion{};
    do
      run_logo_frame(motion, {logo_backdrop, logo_layer, logo_composite}, black);
    while (motion.logo_frame < last_frame && !key[KEY_ESC] && !stop_requested());
  }
  for (BITMAP *bmp : scratch)
    if (bmp)
      destroy_bitmap(bmp);
}
