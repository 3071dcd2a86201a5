#include <allegro.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "show/sequence.h"

static constexpr char usage[] = "[--window] [--help] [--version]\n";

static constexpr char help[] =
    "Plays the show: a title, a logo over the stars, three panels of text, then\n"
    "free flight through a star field, to its music. It runs full screen on the\n"
    "desktop's resolution, the picture scaled to fit.\n"
    "\n"
    "  --window   start in a resizable window instead of full screen\n"
    "  --help     this text\n"
    "  --version  the show's name and version\n"
    "\n"
    "Keys: Escape held ends each scene; in free flight 4 6 8 2 steer, S saves\n"
    "qirboSho.pcx in the working folder, V or C shows or hides the keys, Space or\n"
    "Escape ends the show. F11 or Alt+Enter switches between window and full\n"
    "screen; closing the window ends the show.\n"
    "\n"
    "It plays on X11 (DISPLAY) or, where only Wayland is there, on Wayland\n"
    "(WAYLAND_DISPLAY); SDL_VIDEODRIVER, SDL_AUDIODRIVER and SDL_RENDER_DRIVER\n"
    "choose otherwise. Exit status: 0 when ended, 1 when it cannot start, 2 for\n"
    "an unknown option, 128+N when ended by signal N.\n";

int main(int argc, char **argv)
{
  const char *program = program_name;
  for (int i = 1; i < argc; i++) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::printf("Usage: %s %s", program, usage);
      std::fputs(help, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s %s\n", program, SHOW_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "--window") != 0) {
      std::fprintf(stderr, "%s: unknown option '%s'. Usage: %s %s", program, argv[i], program, usage);
      return 2;
    }
    start_windowed = true;
  }
  return run_show();
}
END_OF_MAIN()
