// The page's canvas as the SDL display driver meets it.
#include "platform/sdl/sdl.h"

const char *display_video_driver()
{
  return "emscripten";
}

bool window_in_page()
{
  return true;
}

// The page stays while the show plays: there is no display to watch.
void watch_display_start() {}

void watch_display(bool) {}
