#include "platform/offscreen.h"

#include <allegro.h>

static GFX_DRIVER stand_in_display;
static KEYBOARD_DRIVER stand_in_keyboard;
static TIMER_DRIVER stand_in_timer;
static _DRIVER_INFO keyboard_list[] = {{AL_ID('O', 'F', 'K', 'B'), &stand_in_keyboard, TRUE},
                                       {0, nullptr, 0}};
static _DRIVER_INFO timer_list[] = {{AL_ID('O', 'F', 'T', 'M'), &stand_in_timer, TRUE},
                                    {0, nullptr, 0}};
static int lock_token;

static int succeed()
{
  return 0;
}

static void do_nothing() {}

static void *create_lock()
{
  return &lock_token;
}

static void leave_lock(void *) {}

static _DRIVER_INFO *keyboard_drivers()
{
  return keyboard_list;
}

static _DRIVER_INFO *timer_drivers()
{
  return timer_list;
}

// The library's keyboard takes a repeat timer and a lock from the system
// driver, which without a display has neither.
void offer_offscreen_drivers()
{
  stand_in_keyboard.id = keyboard_list[0].id;
  stand_in_keyboard.name = stand_in_keyboard.desc = stand_in_keyboard.ascii_name = "offscreen";
  stand_in_keyboard.autorepeat = TRUE;  // so the library starts no repeat timer
  stand_in_keyboard.init = succeed;
  stand_in_keyboard.exit = do_nothing;
  stand_in_timer.id = timer_list[0].id;
  stand_in_timer.name = stand_in_timer.desc = stand_in_timer.ascii_name = "offscreen";
  stand_in_timer.init = succeed;
  stand_in_timer.exit = do_nothing;
  system_driver->keyboard_drivers = keyboard_drivers;
  system_driver->timer_drivers = timer_drivers;
  system_driver->create_mutex = create_lock;
  system_driver->destroy_mutex = leave_lock;
  system_driver->lock_mutex = leave_lock;
  system_driver->unlock_mutex = leave_lock;
}

bool set_offscreen_mode(int w, int h)
{
  if (screen)
    destroy_bitmap(screen);
  screen = nullptr;
  gfx_driver = nullptr;
  if (w == 0 && h == 0)
    return true;
  // Without a driver the library would put blue in the high bits.
  _rgb_r_shift_16 = 11;
  _rgb_g_shift_16 = 5;
  _rgb_b_shift_16 = 0;
  stand_in_display.name = stand_in_display.desc = stand_in_display.ascii_name = "offscreen";
  stand_in_display.w = w;
  stand_in_display.h = h;
  screen = create_bitmap(w, h);
  if (!screen)
    return false;
  clear_bitmap(screen);
  gfx_driver = &stand_in_display;
  return true;
}
