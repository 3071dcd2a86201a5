// The display-less stand-in's drivers: a memory screen of the size asked
// for, with pages copied onto it when shown, and a keyboard that never
// reports a key.
#include "platform/offscreen/offscreen.h"

#include <allegro.h>
#include <allegro/internal/aintern.h>

#include "platform/platform.h"
#include "platform/sdl/sdl.h"

constexpr int offscreen_display_id = AL_ID('O', 'F', 'F', 'S');
constexpr int offscreen_keyboard_id = AL_ID('O', 'F', 'K', 'B');

// Defined below, once its routines are: the screen it opens refers to it.
extern GFX_DRIVER offscreen_display;

static unsigned char *screen_pixels;

// 5-6-5 as on a real 16-bit display: without a driver saying so the library
// would put blue in the high bits.
static BITMAP *open_offscreen(int w, int h, int, int, int depth)
{
  if (depth != 16 || w <= 0 || h <= 0)
    return nullptr;
  _rgb_r_shift_16 = 11;
  _rgb_g_shift_16 = 5;
  _rgb_b_shift_16 = 0;
  screen_pixels = new unsigned char[size_t(w) * size_t(h) * 2];
  offscreen_display.w = w;
  offscreen_display.h = h;
  return _make_bitmap(w, h, uintptr_t(screen_pixels), &offscreen_display, 16, w * 2);
}

static void close_offscreen(BITMAP *)
{
  delete[] screen_pixels;
  screen_pixels = nullptr;
}

// The screen always holds what a viewer would see.
static int show_offscreen_page(BITMAP *page)
{
  blit(page, screen, 0, 0, 0, 0, page->w, page->h);
  return 0;
}

static void no_wait() {}

static GFX_DRIVER make_offscreen_display()
{
  GFX_DRIVER driver = {};
  driver.id = offscreen_display_id;
  driver.name = driver.desc = driver.ascii_name = "offscreen";
  driver.init = open_offscreen;
  driver.exit = close_offscreen;
  driver.vsync = no_wait;
  driver.create_video_bitmap = create_video_page;
  driver.destroy_video_bitmap = destroy_video_page;
  driver.show_video_bitmap = show_offscreen_page;
  driver.linear = TRUE;
  return driver;
}

GFX_DRIVER offscreen_display = make_offscreen_display();

static int succeed()
{
  return 0;
}

static void do_nothing() {}

static KEYBOARD_DRIVER make_silent_keyboard()
{
  KEYBOARD_DRIVER driver = {};
  driver.id = offscreen_keyboard_id;
  driver.name = driver.desc = driver.ascii_name = "offscreen";
  driver.autorepeat = TRUE;  // so the library starts no repeat timer
  driver.init = succeed;
  driver.exit = do_nothing;
  return driver;
}

static KEYBOARD_DRIVER silent_keyboard = make_silent_keyboard();

static _DRIVER_INFO offscreen_gfx[] = {{offscreen_display_id, &offscreen_display, TRUE}, {0, nullptr, 0}};
static _DRIVER_INFO offscreen_keys[] = {{offscreen_keyboard_id, &silent_keyboard, TRUE}, {0, nullptr, 0}};
static _DRIVER_INFO no_sound[] = {{0, nullptr, 0}};

void use_offscreen_drivers()
{
  hand_out_drivers({"offscreen", offscreen_gfx, offscreen_keys, no_sound, false, nullptr});
}

bool set_offscreen_mode(int w, int h)
{
  use_offscreen_drivers();
  if (!start_system())
    return false;
  set_color_depth(16);
  return set_gfx_mode(GFX_AUTODETECT, w, h, 0, 0) == 0;
}
