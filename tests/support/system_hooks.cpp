#include "system_hooks.h"

std::vector<made_bitmap> bitmaps_made;
std::vector<BITMAP *> bitmaps_destroyed;
int failing_bitmap_creation;

static int creations;

// The library takes the keyboard's repeat timer and its lock from the system
// driver, which under SYSTEM_NONE has neither: stand-ins that do nothing.
static int succeed()
{
  return 0;
}

static void do_nothing() {}

static int lock_token;

static void *create_lock()
{
  return &lock_token;
}

static void leave_lock(void *) {}

static KEYBOARD_DRIVER stand_in_keyboard;
static TIMER_DRIVER stand_in_timer;
static _DRIVER_INFO keyboard_list[] = {{AL_ID('S', 'T', 'K', 'B'), &stand_in_keyboard, TRUE},
                                       {0, nullptr, 0}};
static _DRIVER_INFO timer_list[] = {{AL_ID('S', 'T', 'T', 'M'), &stand_in_timer, TRUE},
                                    {0, nullptr, 0}};

static _DRIVER_INFO *keyboard_drivers()
{
  return keyboard_list;
}

static _DRIVER_INFO *timer_drivers()
{
  return timer_list;
}

bool install_stand_in_keyboard()
{
  stand_in_keyboard.id = keyboard_list[0].id;
  stand_in_keyboard.name = stand_in_keyboard.desc = stand_in_keyboard.ascii_name = "stand-in";
  stand_in_keyboard.autorepeat = TRUE;  // so the library starts no repeat timer
  stand_in_keyboard.init = succeed;
  stand_in_keyboard.exit = do_nothing;
  stand_in_timer.id = timer_list[0].id;
  stand_in_timer.name = stand_in_timer.desc = stand_in_timer.ascii_name = "stand-in";
  stand_in_timer.init = succeed;
  stand_in_timer.exit = do_nothing;
  system_driver->keyboard_drivers = keyboard_drivers;
  system_driver->timer_drivers = timer_drivers;
  system_driver->create_mutex = create_lock;
  system_driver->destroy_mutex = leave_lock;
  system_driver->lock_mutex = leave_lock;
  system_driver->unlock_mutex = leave_lock;
  return install_keyboard() == 0;
}

// The library hands every creation to this hook when it is set; unset for
// the moment, the library makes the bitmap itself.
static BITMAP *watched_create(int depth, int w, int h)
{
  if (++creations == failing_bitmap_creation)
    return nullptr;
  auto hook = system_driver->create_bitmap;
  system_driver->create_bitmap = nullptr;
  BITMAP *bmp = create_bitmap_ex(depth, w, h);
  system_driver->create_bitmap = hook;
  if (bmp)
    bitmaps_made.push_back({bmp, w, h});
  return bmp;
}

// Returning FALSE lets the library go on and free the bitmap.
static int watched_destroy(BITMAP *bmp)
{
  bitmaps_destroyed.push_back(bmp);
  return FALSE;
}

void watch_bitmaps()
{
  creations = 0;
  bitmaps_made.clear();
  bitmaps_destroyed.clear();
  system_driver->create_bitmap = watched_create;
  system_driver->destroy_bitmap = watched_destroy;
}
