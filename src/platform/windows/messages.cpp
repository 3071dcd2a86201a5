#include <allegro.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "platform/services.h"

// stderr first, for whoever started the show from a console or a script;
// then the library's message box.
void startup_message(const char *format, ...)
{
  va_list args;
  va_start(args, format);
  const std::string text = format_message(format, args);
  va_end(args);
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
  allegro_message("%s", text.c_str());
}
