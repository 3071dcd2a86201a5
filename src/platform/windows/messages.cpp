#include <allegro.h>

#include <cstdio>
#include <string>

#include "platform/services.h"

// stderr first, for whoever started the show from a console or a script;
// then the library's message box.
void deliver_startup_message(const std::string &text)
{
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
  allegro_message("%s", text.c_str());
}
