#include "captured_calls.h"

#include <cstdarg>
#include <cstdio>

#include <unistd.h>

#include <SDL.h>

std::vector<captured_message> messages;
bool fail_sound_install = false;
bool fail_display_bounds = false;
std::vector<std::pair<std::string, const void *>> destroyed;

extern "C" {

void __real_destroy_bitmap(BITMAP *bmp);
void __real_destroy_sample(SAMPLE *spl);
int __real_install_sound(int digi, int midi, const char *cfg_path);
int __real_SDL_GetDisplayBounds(int display, SDL_Rect *rect);
int __real_isatty(int fd);

// Start-up messages reach the box, and so the list above, only when stderr
// is no terminal: as the tests see them from one too.
int __wrap_isatty(int fd)
{
  return fd == STDERR_FILENO ? 0 : __real_isatty(fd);
}

int __wrap_SDL_GetDisplayBounds(int display, SDL_Rect *rect)
{
  if (fail_display_bounds) {
    *rect = {};  // what the caller finds when it reads the rectangle anyway
    return SDL_SetError("No monitor here");
  }
  return __real_SDL_GetDisplayBounds(display, rect);
}

void __wrap_allegro_message(const char *format, ...)
{
  char text[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  messages.push_back({text, gfx_driver == nullptr});
}

int __wrap_install_sound(int digi, int midi, const char *cfg_path)
{
  if (fail_sound_install) {
    snprintf(allegro_error, ALLEGRO_ERROR_SIZE, "No sound card here");
    return -1;
  }
  return __real_install_sound(digi, midi, cfg_path);
}

void __wrap_destroy_bitmap(BITMAP *bmp)
{
  destroyed.emplace_back("bitmap", bmp);
  __real_destroy_bitmap(bmp);
}

void __wrap_destroy_sample(SAMPLE *spl)
{
  destroyed.emplace_back("sample", spl);
  __real_destroy_sample(spl);
}
}
