#include "platform/platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <string>

// A pipe or /dev/null on stderr means nobody reads it there; the message box
// is then the only place, as before.
static bool someone_reads_stderr()
{
  struct stat info;
  return isatty(STDERR_FILENO) || (fstat(STDERR_FILENO, &info) == 0 && S_ISREG(info.st_mode));
}

void startup_message(const char *format, ...)
{
  // Paths in the message can be long: measure, then write.
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  const int length = vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(size_t(length > 0 ? length : 0), '\0');
  vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  // First on stderr: the message box waits for its OK button.
  if (someone_reads_stderr())
    fputs(text.c_str(), stderr);
  allegro_message("%s", text.c_str());
}
