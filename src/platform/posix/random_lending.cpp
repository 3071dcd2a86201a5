#include <cstdlib>

#include "platform/sdl/sdl.h"

static char libraries_random_state[256];
static char *show_random_state;

void lend_random_sequence()
{
  static bool made;
  show_random_state = made ? setstate(libraries_random_state)
                           : initstate(1, libraries_random_state, sizeof libraries_random_state);
  made = true;
}

void take_back_random_sequence()
{
  setstate(show_random_state);
}
