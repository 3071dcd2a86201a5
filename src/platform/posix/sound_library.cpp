// Linux's sound library as SDL's audio thread meets it.
#include <dlfcn.h>

#include "platform/sdl/sdl.h"

const bool sound_fed_by_system = false;

// ALSA writes every failed probe to stderr (eight lines on a machine without
// a sound card) unless it is given a handler; SDL loads the same library.
extern "C" void ignore_alsa_error(const char *, int, const char *, int, const char *, ...) {}

void quieten_sound_probes()
{
  using error_handler = void (*)(const char *, int, const char *, int, const char *, ...);
  void *alsa = dlopen("libasound.so.2", RTLD_LAZY);
  if (!alsa)
    return;
  auto set_handler = reinterpret_cast<int (*)(error_handler)>(dlsym(alsa, "snd_lib_error_set_handler"));
  if (set_handler)
    set_handler(ignore_alsa_error);
}
