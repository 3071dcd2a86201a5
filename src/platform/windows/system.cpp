// The show on Windows: the library's own system and its DirectX drivers,
// found by its usual autodetection, with the show's clock kept where the
// display does not wait for its retrace.
#include <allegro.h>
#include <winalleg.h>

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"
#include "platform/services.h"

volatile sig_atomic_t stop_signal = 0;

static volatile bool close_requested;

// No display refreshes faster than this: a retrace wait that returns sooner
// does not wait for the retrace. Wine's returns at once.
static constexpr int64_t shortest_refresh_ns = 2'000'000;
static constexpr int measured_retraces = 4;

// The window's close button ends the show as Escape held does.
static void note_close()
{
  close_requested = true;
}

bool start_system()
{
  // Sleeps to the show's clock need the system timer's finest step, not its
  // usual 15.6 ms.
  timeBeginPeriod(1);
  if (install_allegro(SYSTEM_AUTODETECT, &errno, atexit) != 0) {
    std::fprintf(stderr, "Cannot start the graphics library: %s\n", allegro_error);
    return false;
  }
  set_window_title(show_name);
  return true;
}

// The first wait may end at once, wherever the display was in its refresh.
static bool driver_waits_for_retrace()
{
  vsync();
  const int64_t start = monotonic_ns();
  for (int i = 0; i < measured_retraces; i++)
    vsync();
  return monotonic_ns() - start >= measured_retraces * shortest_refresh_ns;
}

// Full screen, or a window where the desktop refuses that mode.
bool set_show_mode()
{
  if ((start_windowed || set_gfx_mode(GFX_AUTODETECT_FULLSCREEN, 1024, 768, 1024, 768) != 0) &&
      set_gfx_mode(GFX_AUTODETECT_WINDOWED, 1024, 768, 1024, 768) != 0)
    return false;
  set_close_button_callback(note_close);
  display_keeps_time = driver_waits_for_retrace();
  return true;
}

// A system without a sound device plays the show without music, as on Linux.
int start_show_sound()
{
  if (install_sound(DIGI_AUTODETECT, MIDI_NONE, nullptr) == 0)
    return 0;
  return install_sound(DIGI_NONE, MIDI_NONE, nullptr);
}

bool window_close_requested()
{
  return close_requested;
}

// Windows ends a program from outside without signals the show could note.
void hold_stop_signals() {}

void catch_stop_signals() {}

bool stop_requested()
{
  return window_close_requested();
}
