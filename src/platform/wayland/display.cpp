// What the show asks of a Wayland display itself. A compositor without a
// seat has no keyboard to give the show, and SDL's start there crashes; and
// SDL takes a compositor that ended for a request to quit.
#include <SDL_syswm.h>
#include <wayland-client.h>

#include <cstring>
#include <string>

#include "platform/sdl/sdl.h"

static void note_global(void *seen, wl_registry *, uint32_t, const char *interface, uint32_t)
{
  if (std::strcmp(interface, wl_seat_interface.name) == 0)
    *static_cast<bool *>(seen) = true;
}

static void drop_global(void *, wl_registry *, uint32_t) {}

static const wl_registry_listener seat_listener = {note_global, drop_global};

bool display_can_take_the_show(const char *video_driver, std::string &why)
{
  if (!video_driver || std::strncmp(video_driver, "wayland", 7) != 0)
    return true;
  wl_display *display = wl_display_connect(nullptr);
  if (!display)
    return true;  // SDL says why it cannot connect
  bool seat = false;
  wl_registry *registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &seat_listener, &seat);
  const bool answered = wl_display_roundtrip(display) >= 0;
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  if (answered && !seat)
    why = "it offers no seat, so no keyboard can reach the show";
  return !answered || seat;
}

bool display_connection_broken(SDL_Window *window)
{
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  return window && SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_WAYLAND &&
         wl_display_get_error(info.info.wl.display) != 0;
}
