#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/sdl/sdl.h"
#include "platform/services.h"

extern char **environ;

// A pipe or /dev/null on stderr means nobody reads it there; the message box
// is then the only place, as before.
static bool someone_reads_stderr()
{
  struct stat info;
  return isatty(STDERR_FILENO) || (fstat(STDERR_FILENO, &info) == 0 && S_ISREG(info.st_mode));
}

static bool program_on_path(std::string_view program)
{
  const char *path = getenv("PATH");
  std::string_view folders = path ? path : "";
  while (!folders.empty()) {
    const size_t end = folders.find(':');
    const std::string folder(folders.substr(0, end));
    if (!folder.empty() && access((folder + "/" + std::string(program)).c_str(), X_OK) == 0)
      return true;
    folders = end == std::string_view::npos ? "" : folders.substr(end + 1);
  }
  return false;
}

// xmessage, as the library shows its messages on X11.
bool show_message_box(const char *text)
{
  char program[] = "xmessage";
  char centre[] = "-center";
  char *argv[] = {program, centre, const_cast<char *>(text), nullptr};
  pid_t child;
  int status;
  return posix_spawnp(&child, program, nullptr, nullptr, argv, environ) == 0 &&
         waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) != 127;
}

// The library prints a message on stdout when it has no box to show it in:
// before it starts, without a display, or when the show's system driver
// finds no xmessage program.
static bool library_prints_it_on_stdout()
{
  return !system_driver || !system_driver->message || !program_on_path("xmessage");
}

static bool stdout_is_stderr()
{
  struct stat out, err;
  return fstat(STDOUT_FILENO, &out) == 0 && fstat(STDERR_FILENO, &err) == 0 && out.st_dev == err.st_dev &&
         out.st_ino == err.st_ino;
}

void deliver_startup_message(const std::string &text)
{
  // First on stderr, as the message box waits for its OK button; but once is
  // enough where the library writes it to the same terminal or file.
  if (someone_reads_stderr() && !(library_prints_it_on_stdout() && stdout_is_stderr()))
    fputs(text.c_str(), stderr);
  allegro_message("%s", text.c_str());
}
