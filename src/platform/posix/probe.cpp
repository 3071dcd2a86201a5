// A probe in a child process: forked before the show connects to anything,
// so the child starts from nothing the show holds, and whatever the libraries
// it tries do there (crash, print, hang) stays there.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/sdl/sdl.h"
#include "platform/services.h"

static pid_t probe_child = -1;
static int probe_output = -1;

void start_probe(void (*probe)(int out))
{
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0)
    return;
  const pid_t child = fork();
  if (child == 0) {
    const rlimit no_core = {0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, STDOUT_FILENO);
    dup2(quiet, STDERR_FILENO);
    probe(ends[1]);
    _exit(0);
  }
  close(ends[1]);
  if (child < 0) {
    close(ends[0]);
    return;
  }
  probe_child = child;
  probe_output = ends[0];
}

// Everything the child writes until it closes its end, or until the deadline.
static bool read_until_closed(std::string &said)
{
  const int64_t deadline = monotonic_ns() + int64_t(display_answer_seconds) * 1'000'000'000;
  char chunk[256];
  for (;;) {
    const int64_t left_ns = deadline - monotonic_ns();
    if (left_ns <= 0)
      return false;
    pollfd waiting = {probe_output, POLLIN, 0};
    const int ready = poll(&waiting, 1, int(left_ns / 1'000'000) + 1);
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready <= 0)
      return false;
    const ssize_t got = read(probe_output, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return true;
    said.append(chunk, size_t(got));
  }
}

bool probe_finding(std::string &said)
{
  said.clear();
  if (probe_child < 0) {
    said = "it could not be started";
    return false;
  }
  const bool ended = read_until_closed(said);
  close(probe_output);
  if (!ended)
    kill(probe_child, SIGKILL);
  int status = 0;
  while (waitpid(probe_child, &status, 0) < 0 && errno == EINTR) {
  }
  probe_child = -1;
  if (!ended)
    said = "it did not answer within " + std::to_string(display_answer_seconds) + " s";
  else if (WIFSIGNALED(status))
    said = std::string("it crashed (") + strsignal(WTERMSIG(status)) + ")";
  else if (WEXITSTATUS(status) != 0)
    said = "it ended with status " + std::to_string(WEXITSTATUS(status));
  else
    return true;
  return false;
}
