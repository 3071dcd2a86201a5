// close_window WINDOW: asks the window to close, as a window manager's close
// button or Alt+F4 does, with a WM_DELETE_WINDOW message.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
  Display *display = argc == 2 ? XOpenDisplay(nullptr) : nullptr;
  if (!display) {
    std::fprintf(stderr, "usage: close_window WINDOW, with DISPLAY set\n");
    return 2;
  }
  XEvent message = {};
  message.xclient.type = ClientMessage;
  message.xclient.window = Window(std::strtoul(argv[1], nullptr, 0));
  message.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  message.xclient.format = 32;
  message.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
  message.xclient.data.l[1] = CurrentTime;
  const bool sent = XSendEvent(display, message.xclient.window, False, NoEventMask, &message);
  XCloseDisplay(display);
  return sent ? 0 : 1;
}
