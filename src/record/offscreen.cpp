#include "record/offscreen.h"

#include <allegro.h>

#include "platform/offscreen.h"

void (*sample_started)(const SAMPLE *sample, bool loop) = nullptr;

extern "C" {

int __real__install_allegro_version_check(int system_id, int *errno_ptr,
                                          int (*atexit_ptr)(void (*)()), int version);
int __real_install_sound(int digi, int midi, const char *cfg_path);
int __real_play_sample(const SAMPLE *spl, int vol, int pan, int freq, int loop);

int __wrap__install_allegro_version_check(int, int *errno_ptr, int (*atexit_ptr)(void (*)()),
                                          int version)
{
  if (__real__install_allegro_version_check(SYSTEM_NONE, errno_ptr, atexit_ptr, version) != 0)
    return -1;
  offer_offscreen_drivers();
  return 0;
}

int __wrap_set_gfx_mode(int card, int w, int h, int, int)
{
  if (card == GFX_TEXT)
    return set_offscreen_mode(0, 0) ? 0 : -1;
  return set_offscreen_mode(w, h) ? 0 : -1;
}

int __wrap_install_sound(int, int, const char *cfg_path)
{
  return __real_install_sound(DIGI_NONE, MIDI_NONE, cfg_path);
}

int __wrap_play_sample(const SAMPLE *spl, int vol, int pan, int freq, int loop)
{
  if (sample_started)
    sample_started(spl, loop != 0);
  return __real_play_sample(spl, vol, pan, freq, loop);
}
}
