// The library's system driver, of our own: it hands the library the drivers
// of this layer in its driver lists, so that set_gfx_mode, install_keyboard
// and install_sound pick them the way they pick any driver. Started from the
// library's driver-less system, it needs neither the library's X11 system
// (its own window, and an input thread that wakes a thousand times a second)
// nor its sound modules.
#include <SDL.h>
#include <allegro.h>
#include <allegro/platform/aintunix.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/sdl/sdl.h"

static SYSTEM_DRIVER show_system;
static TIMER_DRIVER idle_timer;

static _DRIVER_INFO no_drivers[] = {{0, nullptr, 0}};
static _DRIVER_INFO sdl_gfx[] = {{sdl_display_id, &sdl_display, TRUE}, {0, nullptr, 0}};
static _DRIVER_INFO sdl_keys[] = {{sdl_keyboard_id, &sdl_keyboard, TRUE}, {0, nullptr, 0}};
static _DRIVER_INFO sdl_digi[] = {{sdl_sound_id, &sdl_sound, TRUE}, {0, nullptr, 0}};
static _DRIVER_INFO idle_timers[] = {{AL_ID('I', 'D', 'L', 'E'), &idle_timer, TRUE}, {0, nullptr, 0}};

// As the library does on X11: a message box when there is one, else the terminal.
static void show_message(const char *text)
{
  if (show_message_box(text))
    return;
  fputs(text, stdout);
  fflush(stdout);
}

static driver_lists lists = {"SDL2", sdl_gfx, sdl_keys, sdl_digi, true, show_message};

void hand_out_drivers(const driver_lists &chosen)
{
  lists = chosen;
}

static _DRIVER_INFO *gfx_drivers()
{
  return lists.gfx;
}

static _DRIVER_INFO *keyboard_drivers()
{
  return lists.keyboard;
}

static _DRIVER_INFO *digi_drivers()
{
  return lists.digi;
}

static _DRIVER_INFO *empty_list()
{
  return no_drivers;
}

// The show has no timer: its clock is the display's. The library only needs
// a timer driver to exist for install_timer.
static _DRIVER_INFO *timer_drivers()
{
  return idle_timers;
}

static int succeed()
{
  return 0;
}

static void do_nothing() {}

// SDL_Quit closes the sound too, and would wait for ever on a sound thread
// that a server which stopped answering holds.
static void close_system()
{
  if (!lists.opens_sdl_video)
    return;
  if (sound_left_to_server)
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  else
    SDL_Quit();
}

static void prepare_idle_timer()
{
  idle_timer.id = idle_timers[0].id;
  idle_timer.name = idle_timer.desc = idle_timer.ascii_name = "idle";
  idle_timer.init = succeed;
  idle_timer.exit = do_nothing;
}

// The fallback to a window happens inside the display driver, which knows
// whether the desktop refused full screen.
bool set_show_mode()
{
  return set_gfx_mode(GFX_AUTODETECT_FULLSCREEN, 1024, 768, 1024, 768) == 0;
}

// Without a device the library takes its silent driver by itself.
int start_show_sound()
{
  return install_sound(DIGI_AUTODETECT, MIDI_NONE, nullptr);
}

bool start_system()
{
  if (system_driver == &show_system)
    return true;
  open_standard_descriptors();
  if (lists.opens_sdl_video && !open_sdl_video()) {
    fprintf(stderr, "%s: %s\n", program_name, allegro_error);
    return false;
  }
  if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
    return false;
  prepare_idle_timer();
  show_system = *system_driver;
  show_system.id = AL_ID('S', 'H', 'O', 'W');
  show_system.ascii_name = lists.name;
  show_system.exit = close_system;
  show_system.message = lists.message;  // without, the library prints
  // The sound mixer runs on the audio device's own thread.
  show_system.create_mutex = _unix_create_mutex;
  show_system.destroy_mutex = _unix_destroy_mutex;
  show_system.lock_mutex = _unix_lock_mutex;
  show_system.unlock_mutex = _unix_unlock_mutex;
  show_system.gfx_drivers = gfx_drivers;
  show_system.digi_drivers = digi_drivers;
  show_system.midi_drivers = empty_list;
  show_system.keyboard_drivers = keyboard_drivers;
  show_system.mouse_drivers = empty_list;
  show_system.joystick_drivers = empty_list;
  show_system.timer_drivers = timer_drivers;
  system_driver = &show_system;
  return true;
}
