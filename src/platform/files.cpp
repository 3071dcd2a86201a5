#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/platform.h"

FILE *create_new_file(const char *name)
{
  struct stat stale;
  if (lstat(name, &stale) == 0 && (!S_ISREG(stale.st_mode) || unlink(name) != 0))
    return nullptr;
  const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0)
    return nullptr;
  FILE *file = fdopen(fd, "wb");
  if (!file) {
    close(fd);
    unlink(name);
  }
  return file;
}

bool replace_file(const char *from, const char *to)
{
  return rename(from, to) == 0;
}
