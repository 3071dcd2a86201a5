// The page's canvas as the SDL display driver meets it: SDL's own pixels
// for it, and nothing to probe, watch or lose.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/sdl/sdl.h"

const char *display_video_driver()
{
  return "emscripten";
}

bool window_in_page()
{
  return true;
}

bool display_can_take_the_show(const char *, std::string &)
{
  return true;
}

// The page stays while the show plays: there is no display to watch.
void watch_display_start() {}

void watch_display(bool) {}

void watch_window(SDL_Window *) {}

bool display_connection_broken(SDL_Window *)
{
  return false;
}

void leave_lost_display(const char *why)
{
  std::fprintf(stderr, "%s: %s", program_name, why);
  std::exit(1);
}

// A page has no processes to probe OpenGL in, and its canvas takes the
// processor's pixels: SDL copies them into the page's picture as they are.
void start_probe(void (*)(int)) {}

bool probe_finding(std::string &said)
{
  said = "none a page draws its canvas from the processor's pixels";
  return true;
}

bool open_window_buffers(SDL_Window *)
{
  return false;
}

SDL_Surface *next_window_buffer(int, int, int &)
{
  return nullptr;
}

void show_window_buffer(const SDL_Rect &) {}

void close_window_buffers() {}
