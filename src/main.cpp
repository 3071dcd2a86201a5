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
    "qirboSho.pcx, Space or Escape ends the show. F11 or Alt+Enter switches between\n"
    "window and full screen; closing the window ends the show.\n";

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
