// A display that goes away (its server ends, the connection breaks, or some
// other program destroys the show's window) leaves nothing to show on. Xlib
// would print several lines and exit through the library's shutdown, which
// then talks to the dead connection again and can hang or abort; the show
// says so in one line and ends at once instead. Other X errors are not the
// display going away: a renderer that cannot be made (OpenGL without a
// direct context refuses its context) is passed over for the next.
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/sdl/sdl.h"

static Window show_window;  // None until the window is made

void leave_lost_display(const char *why)
{
  (void)!write(STDERR_FILENO, program_name, std::strlen(program_name));
  (void)!write(STDERR_FILENO, ": ", 2);
  (void)!write(STDERR_FILENO, why, std::strlen(why));
  _exit(1);
}

static int lost_connection(Display *)
{
  leave_lost_display("the connection to the display was lost\n");
  return 0;
}

static int refused_request(Display *, XErrorEvent *error)
{
  const bool window_gone = error->error_code == BadWindow || error->error_code == BadDrawable;
  if (show_window != None && error->resourceid == show_window && window_gone)
    leave_lost_display("the display no longer has the show's window\n");
  return 0;
}

static void no_answer(int)
{
  leave_lost_display("the display does not answer\n");
}

void watch_display_start()
{
  signal(SIGALRM, no_answer);
  alarm(display_answer_seconds);
}

void watch_display(bool connected)
{
  alarm(0);
  signal(SIGALRM, SIG_DFL);
  if (!connected)
    return;
  XSetIOErrorHandler(lost_connection);
  XSetErrorHandler(refused_request);
}

void watch_window(SDL_Window *window)
{
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  show_window = SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11 ? info.info.x11.window : None;
}
