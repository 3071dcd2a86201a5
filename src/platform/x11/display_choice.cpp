#include <cstdlib>

#include "platform/sdl/sdl.h"

const char *display_video_driver()
{
  return std::getenv("WAYLAND_DISPLAY") && !std::getenv("DISPLAY") ? "wayland" : "x11";
}

bool window_in_page()
{
  return false;
}
