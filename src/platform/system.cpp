// The library's system driver, of our own: it hands the library the drivers
// of this layer in its driver lists, so that set_gfx_mode, install_keyboard
// and install_sound pick them the way they pick any driver. Started from the
// library's driver-less system, it needs neither the library's X11 system
// (its own window, and an input thread that wakes a thousand times a second)
// nor its sound modules.
#include <SDL.h>
#include <allegro.h>
#include <allegro/platform/aintunix.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/drivers.h"
#include "platform/offscreen.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

extern char **environ;

static bool offscreen;
static char libraries_random_state[256];
static char *show_random_state;
static SYSTEM_DRIVER show_system;
static KEYBOARD_DRIVER silent_keyboard;
static TIMER_DRIVER idle_timer;

static _DRIVER_INFO no_drivers[] = {{0, nullptr, 0}};
static _DRIVER_INFO sdl_gfx[] = {{sdl_display_id, &sdl_display, TRUE}, {0, nullptr, 0}};
static _DRIVER_INFO sdl_keys[] = {{sdl_keyboard_id, &sdl_keyboard, TRUE}, {0, nullptr, 0}};
static _DRIVER_INFO sdl_digi[] = {{sdl_sound_id, &sdl_sound, TRUE}, {0, nullptr, 0}};
static _DRIVER_INFO offscreen_gfx[] = {{offscreen_display_id, &offscreen_display, TRUE},
                                       {0, nullptr, 0}};
static _DRIVER_INFO offscreen_keys[] = {{AL_ID('O', 'F', 'K', 'B'), &silent_keyboard, TRUE},
                                        {0, nullptr, 0}};
static _DRIVER_INFO idle_timers[] = {{AL_ID('I', 'D', 'L', 'E'), &idle_timer, TRUE}, {0, nullptr, 0}};

static _DRIVER_INFO *gfx_drivers()
{
  return offscreen ? offscreen_gfx : sdl_gfx;
}

static _DRIVER_INFO *keyboard_drivers()
{
  return offscreen ? offscreen_keys : sdl_keys;
}

// Without a driver in the list the library falls back to its silent one.
static _DRIVER_INFO *digi_drivers()
{
  return offscreen ? no_drivers : sdl_digi;
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

// As the library does on X11: xmessage when it is there, else the terminal.
static void show_message(const char *text)
{
  char program[] = "xmessage";
  char centre[] = "-center";
  char *argv[] = {program, centre, const_cast<char *>(text), nullptr};
  pid_t child;
  int status;
  if (posix_spawnp(&child, program, nullptr, nullptr, argv, environ) == 0 &&
      waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) != 127)
    return;
  fputs(text, stdout);
  fflush(stdout);
}

static void close_system()
{
  if (!offscreen)
    SDL_Quit();
}

static void prepare_stand_ins()
{
  silent_keyboard.id = offscreen_keys[0].id;
  silent_keyboard.name = silent_keyboard.desc = silent_keyboard.ascii_name = "offscreen";
  silent_keyboard.autorepeat = TRUE;  // so the library starts no repeat timer
  silent_keyboard.init = succeed;
  silent_keyboard.exit = do_nothing;
  idle_timer.id = idle_timers[0].id;
  idle_timer.name = idle_timer.desc = idle_timer.ascii_name = "idle";
  idle_timer.init = succeed;
  idle_timer.exit = do_nothing;
}

fs::path program_folder()
{
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : program.parent_path();
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

void lend_random_sequence()
{
  static bool made;
  show_random_state = made ? setstate(libraries_random_state)
                           : initstate(1, libraries_random_state, sizeof libraries_random_state);
  made = true;
}

void take_back_random_sequence()
{
  setstate(show_random_state);
}

void use_offscreen_drivers()
{
  offscreen = true;
}

bool start_system()
{
  if (system_driver == &show_system)
    return true;
  if (!offscreen && !open_sdl_video()) {
    fprintf(stderr, "Cannot start the graphics library: no X display?\n");
    return false;
  }
  if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
    return false;
  prepare_stand_ins();
  show_system = *system_driver;
  show_system.id = AL_ID('S', 'H', 'O', 'W');
  show_system.ascii_name = offscreen ? "offscreen" : "SDL2";
  show_system.exit = close_system;
  show_system.message = offscreen ? nullptr : show_message;  // without, the library prints
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
