#include "scenes/logo.h"

#include <allegro.h>

#include <array>
#include <cmath>
#include <cstdint>

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

// Darkens every component of the fade corner by amount. Mask pixels must stay
// transparent and black cannot get darker, so both are left alone. The layer
// is a 16-bit memory bitmap, so its rows are read and written in place.
static void fade_corner(BITMAP *layer, int amount, int black)
{
  for (int y = fade_first_row; y <= fade_last_row; y++) {
    uint16_t *row = reinterpret_cast<uint16_t *>(layer->line[y]);
    for (int x = 0; x <= fade_last_column; x++) {
      const int pixel = row[x];
      if (pixel == MASK_COLOR_16 || pixel == black)
        continue;
      row[x] = uint16_t(makecol16(darkened(getr16(pixel), amount),
                                  darkened(getg16(pixel), amount),
                                  darkened(getb16(pixel), amount)));
    }
  }
}

void run_logo_frame(logo_motion &m, const logo_scratch &scratch, int black)
{
  BITMAP *page = begin_flip();
  m.logo_frame++;
  if (++m.step_toggle == 2) {
    m.step_toggle = 0;
    m.squash_angle += squash_step;
  }
  if (m.logo_frame <= sine_frames)
    m.squash = int32_t(squash_range * sine_of_degrees(m.squash_angle));
  else
    m.squash++;

  // The squashed logo keeps to the layer's bottom-left corner.
  clear_to_color(scratch.layer, MASK_COLOR_16);
  const int lost_rows = m.squash - m.squash / 2;
  stretch_blit_fast(logo_image, scratch.layer, 0, 0, logo_width, logo_height, 0, lost_rows,
                    int(logo_width - width_per_squash * m.squash), logo_height - lost_rows);
  if (m.squash_angle > fade_start_angle) {
    m.fade_phase = float(m.fade_phase + fade_step);
    const int32_t fade_amount = int32_t(fade_range * sine_of_degrees(m.fade_phase));
    fade_corner(scratch.layer, fade_amount, black);
  }

  blit(scratch.backdrop, scratch.composite, 0, 0, 0, 0, logo_width, logo_height);
  // Shifted right and up by half the shrink, so the logo stays centred.
  draw_sprite_fast(scratch.composite, scratch.layer, int(width_per_squash * m.squash / 2),
                   -(m.squash / 4));
  blit(background_page, page, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
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
  draw_field(page);
  blit(page, background_page, 0, 0, 0, 0, SCREEN_W, SCREEN_H);

  // Without all three scratch bitmaps there is nothing to compose with:
  // the scene shows no frame and the show goes on.
  if (logo_backdrop && logo_layer && logo_composite) {
    blit(page, logo_backdrop, area_x, area_y, 0, 0, logo_width, logo_height);
    clear_bitmap(logo_layer);
    logo_motion motion{};
    do
      run_logo_frame(motion, {logo_backdrop, logo_layer, logo_composite}, black);
    while (motion.logo_frame < last_frame && !key[KEY_ESC] && !stop_requested());
  }
  for (BITMAP *bmp : scratch)
    if (bmp)
      destroy_bitmap(bmp);
}
