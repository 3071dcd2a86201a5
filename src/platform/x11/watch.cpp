// A display that goes away (its server ends, the connection breaks, or some
// other program destroys the show's window) leaves nothing to show on. Xlib
// would print several lines and exit through the library's shutdown, which
// then talks to the dead connection again and can hang or abort; the show
// says so in one line and ends at once instead.
#include <X11/Xlib.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "platform/sdl/sdl.h"

static void leave(const char *why)
{
  const char prefix[] = "show: ";
  (void)!write(STDERR_FILENO, prefix, sizeof prefix - 1);
  (void)!write(STDERR_FILENO, why, std::strlen(why));
  _exit(1);
}

static int lost_connection(Display *)
{
  leave("the connection to the display was lost\n");
  return 0;
}

static int refused_request(Display *, XErrorEvent *)
{
  leave("the display no longer has the show's window\n");
  return 0;
}

static void no_answer(int)
{
  leave("the display does not answer\n");
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
