// A stand-in for an OpenGL driver that crashes as it is loaded, as Mesa's
// has crashed with too little memory: named as Mesa's software driver, it
// is found first through LIBGL_DRIVERS_PATH.
#include <csignal>

__attribute__((constructor)) static void crash_on_load()
{
  std::raise(SIGSEGV);
}
