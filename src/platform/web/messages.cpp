// Start-up messages on the page, in words, where the viewer would otherwise
// see a black page; the browser's console gets them too.
#include <emscripten.h>

#include <cstdio>
#include <string>

#include "platform/sdl/sdl.h"
#include "platform/services.h"

bool show_message_box(const char *text)
{
  EM_ASM({ Module.showMessage(UTF8ToString($0)); }, text);
  return true;
}

void deliver_startup_message(const std::string &text)
{
  std::fputs(text.c_str(), stderr);
  allegro_message("%s", text.c_str());
}
