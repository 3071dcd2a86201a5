// Start-up messages on the page, in words, where the viewer would otherwise
// see a black page; the browser's console gets them too.
#include <emscripten.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "platform/sdl/sdl.h"
#include "platform/services.h"

bool show_message_box(const char *text)
{
  EM_ASM({ Module.showMessage(UTF8ToString($0)); }, text);
  return true;
}

void startup_message(const char *format, ...)
{
  va_list args;
  va_start(args, format);
  const std::string text = format_message(format, args);
  va_end(args);
  std::fputs(text.c_str(), stderr);
  allegro_message("%s", text.c_str());
}
