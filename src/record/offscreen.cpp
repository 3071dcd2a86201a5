#include "record/offscreen.h"

#include <allegro.h>

#include <string>
#include <utility>
#include <vector>

void (*sample_started)(const char *path, bool loop) = nullptr;

static GFX_DRIVER stand_in_display;
static KEYBOARD_DRIVER stand_in_keyboard;
static TIMER_DRIVER stand_in_timer;
static _DRIVER_INFO keyboard_list[] = {{AL_ID('R', 'K', 'B', 'D'), &stand_in_keyboard, TRUE},
                                       {0, nullptr, 0}};
static _DRIVER_INFO timer_list[] = {{AL_ID('R', 'T', 'M', 'R'), &stand_in_timer, TRUE},
                                    {0, nullptr, 0}};
static std::vector<std::pair<const SAMPLE *, std::string>> sample_files;

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

static _DRIVER_INFO *keyboard_drivers()
{
  return keyboard_list;
}

static _DRIVER_INFO *timer_drivers()
{
  return timer_list;
}

// The system without a display has no keyboard, timer or locks; the
// library's keyboard needs all three, so it gets stand-ins that do nothing.
static void offer_stand_in_drivers()
{
  stand_in_keyboard.id = keyboard_list[0].id;
  stand_in_keyboard.name = stand_in_keyboard.desc = stand_in_keyboard.ascii_name = "recorder";
  stand_in_keyboard.autorepeat = TRUE;  // so the library starts no repeat timer
  stand_in_keyboard.init = succeed;
  stand_in_keyboard.exit = do_nothing;
  stand_in_timer.id = timer_list[0].id;
  stand_in_timer.name = stand_in_timer.desc = stand_in_timer.ascii_name = "recorder";
  stand_in_timer.init = succeed;
  stand_in_timer.exit = do_nothing;
  system_driver->keyboard_drivers = keyboard_drivers;
  system_driver->timer_drivers = timer_drivers;
  system_driver->create_mutex = create_lock;
  system_driver->destroy_mutex = leave_lock;
  system_driver->lock_mutex = leave_lock;
  system_driver->unlock_mutex = leave_lock;
}

extern "C" {

int __real__install_allegro_version_check(int system_id, int *errno_ptr,
                                          int (*atexit_ptr)(void (*)()), int version);
int __real_install_sound(int digi, int midi, const char *cfg_path);
SAMPLE *__real_load_sample(const char *filename);
int __real_play_sample(const SAMPLE *spl, int vol, int pan, int freq, int loop);

int __wrap__install_allegro_version_check(int, int *errno_ptr, int (*atexit_ptr)(void (*)()),
                                          int version)
{
  if (__real__install_allegro_version_check(SYSTEM_NONE, errno_ptr, atexit_ptr, version) != 0)
    return -1;
  offer_stand_in_drivers();
  return 0;
}

int __wrap_set_gfx_mode(int card, int w, int h, int, int)
{
  if (screen) {
    destroy_bitmap(screen);
    screen = nullptr;
  }
  gfx_driver = nullptr;
  if (card == GFX_TEXT)
    return 0;
  // The 5-6-5 layout that X11 gives a 16-bit display (the library without a
  // driver would put blue in the high bits).
  _rgb_r_shift_16 = 11;
  _rgb_g_shift_16 = 5;
  _rgb_b_shift_16 = 0;
  stand_in_display.name = stand_in_display.desc = stand_in_display.ascii_name = "recorder";
  stand_in_display.w = w;
  stand_in_display.h = h;
  screen = create_bitmap(w, h);
  if (!screen)
    return -1;
  clear_bitmap(screen);
  gfx_driver = &stand_in_display;
  return 0;
}

int __wrap_install_sound(int, int, const char *cfg_path)
{
  return __real_install_sound(DIGI_NONE, MIDI_NONE, cfg_path);
}

SAMPLE *__wrap_load_sample(const char *filename)
{
  SAMPLE *spl = __real_load_sample(filename);
  if (spl)
    sample_files.emplace_back(spl, filename);
  return spl;
}

int __wrap_play_sample(const SAMPLE *spl, int vol, int pan, int freq, int loop)
{
  if (sample_started) {
    const char *path = "";
    for (const auto &[loaded, file] : sample_files)
      if (loaded == spl)
        path = file.c_str();
    sample_started(path, loop != 0);
  }
  return __real_play_sample(spl, vol, pan, freq, loop);
}
}
