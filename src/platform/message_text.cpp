#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "platform/services.h"

// Paths in a message can be long: measure, then write.
static std::string format_message(const char *format, va_list args)
{
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  std::string text(size_t(length > 0 ? length : 0), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

void startup_message(const char *format, ...)
{
  va_list args;
  va_start(args, format);
  const std::string text = format_message(format, args);
  va_end(args);
  deliver_startup_message(text);
}
