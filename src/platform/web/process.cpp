// What a process has on Linux and a page has not: signals, which end the
// show there (here it ends by its keys, or with the page), and standard
// descriptors that may come closed (here they are always the console's).
#include "platform/platform.h"
#include "platform/sdl/sdl.h"

volatile sig_atomic_t stop_signal = 0;

void hold_stop_signals() {}

void catch_stop_signals() {}

bool stop_requested()
{
  return window_close_requested();
}

void open_standard_descriptors() {}
