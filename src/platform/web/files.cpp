// Files in a browser live in the page's memory, where nothing but the show
// makes them. A file the show puts in its final place is handed to the
// viewer as a download of that name, then let go: the screenshot reaches the
// viewer's downloads, not a folder of the page.
#include <emscripten.h>

#include <cstdio>
#include <filesystem>

#include "platform/platform.h"
#include "platform/services.h"

std::filesystem::path program_folder()
{
  return {};
}

FILE *create_new_file(const char *name)
{
  std::remove(name);
  return std::fopen(name, "wbx");
}

bool replace_file(const char *from, const char *to)
{
  if (std::rename(from, to) != 0)
    return false;
  EM_ASM({ Module.offerDownload(UTF8ToString($0)); }, to);
  return true;
}
