#include "scenes/logo.h"

#include <allegro.h>

#include <array>
#include <cmath>
#include <cstdint>

#include "field/renderer.h"
#include "show/assets.h"
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

static void run_frames(BITMAP *logo_backdrop, BITMAP *logo_layer, BITMAP *logo_composite,
                       int black)
{
  int32_t logo_frame = 0;
  int32_t step_toggle = 0;
  float squash_angle = 0;
  int32_t squash = 0;
  float fade_phase = 0;
  for (;;) {
    BITMAP *page = begin_flip();
    logo_frame++;
    if (++step_toggle == 2) {
      step_toggle = 0;
      squash_angle += squash_step;
    }
    if (logo_frame <= sine_frames)
      squash = int32_t(squash_range * sine_of_degrees(squash_angle));
    else
      squash++;

    // The squashed logo keeps to the layer's bottom-left corner.
    clear_to_color(logo_layer, MASK_COLOR_16);
    const int lost_rows = squash - squash / 2;
    stretch_blit(logo_image, logo_layer, 0, 0, logo_width, logo_height, 0, lost_rows,
                 int(logo_width - width_per_squash * squash), logo_height - lost_rows);
    if (squash_angle > fade_start_angle) {
      fade_phase = float(fade_phase + fade_step);
      const int32_t fade_amount = int32_t(fade_range * sine_of_degrees(fade_phase));
      fade_corner(logo_layer, fade_amount, black);
    }

    blit(logo_backdrop, logo_composite, 0, 0, 0, 0, logo_width, logo_height);
    // Shifted right and up by half the shrink, so the logo stays centred.
    draw_sprite(logo_composite, logo_layer, int(width_per_squash * squash / 2), -(squash / 4));
    blit(background_page, page, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
    blit(logo_composite, page, 0, 0, area_x, area_y, logo_width, logo_height);
    end_flip();

    if (logo_frame >= last_frame || key[KEY_ESC])
      break;
  }
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
    run_frames(logo_backdrop, logo_layer, logo_composite, black);
  }
  for (BITMAP *bmp : scratch)
    if (bmp)
      destroy_bitmap(bmp);
}
