// Windows' own calls for the program's folder and the screenshot's files.
#include <allegro.h>
#include <winalleg.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "platform/services.h"

std::filesystem::path program_folder()
{
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (length == 0)
      return {};
    if (length < path.size()) {
      path.resize(length);
      return std::filesystem::path(path).parent_path();
    }
    path.resize(path.size() * 2);
  }
}

FILE *create_new_file(const char *name)
{
  const DWORD stale = GetFileAttributesA(name);
  if (stale != INVALID_FILE_ATTRIBUTES &&
      ((stale & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) || !DeleteFileA(name)))
    return nullptr;
  const int fd = _open(name, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (fd < 0)
    return nullptr;
  FILE *file = _fdopen(fd, "wb");
  if (!file) {
    _close(fd);
    DeleteFileA(name);
  }
  return file;
}

// rename() on Windows does not replace an existing file.
bool replace_file(const char *from, const char *to)
{
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}
