#include "platform/platform.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/sdl/sdl.h"
#include "platform/services.h"

extern char **environ;

// A terminal is read at once; a file (a session's log) may be read later,
// so the message goes there and into the box. A pipe, /dev/null or no
// stderr at all means nobody reads it: the box is then the only place.
static bool stderr_is(mode_t type)
{
  struct stat info;
  return fstat(STDERR_FILENO, &info) == 0 && (info.st_mode & S_IFMT) == type;
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

// xmessage, as the library shows its messages on X11. What it prints of its
// own (font warnings, a display it cannot open) would only confuse: the
// message itself is the box, or, where none opens, the caller's to print.
bool show_message_box(const char *text)
{
  char program[] = "xmessage";
  char title_option[] = "-title";
  char centre[] = "-center";
  char *argv[] = {program, title_option, const_cast<char *>(program_name), centre, const_cast<char *>(text),
                  nullptr};
  posix_spawn_file_actions_t quiet;
  if (posix_spawn_file_actions_init(&quiet) != 0)
    return false;
  posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child;
  int status = -1;
  const bool spawned = posix_spawnp(&child, program, &quiet, nullptr, argv, environ) == 0;
  posix_spawn_file_actions_destroy(&quiet);
  if (spawned)
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  return spawned && WIFEXITED(status) && WEXITSTATUS(status) == 0;
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
  if (isatty(STDERR_FILENO)) {
    fprintf(stderr, "%s: %s", program_name, text.c_str());
    return;
  }
  // First in the file, as the message box waits for its OK button; but once
  // is enough where the library writes it to the same file.
  if (stderr_is(S_IFREG) && !(library_prints_it_on_stdout() && stdout_is_stderr()))
    fprintf(stderr, "%s: %s", program_name, text.c_str());
  allegro_message("%s", text.c_str());
}
