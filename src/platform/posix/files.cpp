#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/platform.h"
#include "platform/sdl/sdl.h"
#include "platform/services.h"

namespace fs = std::filesystem;

fs::path program_folder()
{
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : program.parent_path();
}

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

void open_standard_descriptors()
{
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
      continue;
    const int null = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
}
