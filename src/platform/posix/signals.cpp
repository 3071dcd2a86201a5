#include <signal.h>

#include <array>

#include "platform/platform.h"

volatile sig_atomic_t stop_signal = 0;

static constexpr std::array<int, 4> stop_signals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
static bool start_noted = false;
static sigset_t ignored_at_start;
static sigset_t held;

static void note_stop(int number)
{
  if (stop_signal == 0)
    stop_signal = number;
}

// The library replaces even an ignored disposition with its own handler, so
// what the show was started with must be read before the library starts.
static void note_start()
{
  if (start_noted)
    return;
  start_noted = true;
  sigemptyset(&ignored_at_start);
  for (int number : stop_signals) {
    struct sigaction current;
    if (sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
      sigaddset(&ignored_at_start, number);
  }
}

// Only what was not blocked already is held, so that letting it in again
// leaves a mask the show was started with as it was.
void hold_stop_signals()
{
  note_start();
  sigset_t all, before;
  sigemptyset(&all);
  for (int number : stop_signals)
    sigaddset(&all, number);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  sigemptyset(&held);
  for (int number : stop_signals)
    if (!sigismember(&before, number))
      sigaddset(&held, number);
}

void catch_stop_signals()
{
  note_start();
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : stop_signals) {
    action.sa_handler = sigismember(&ignored_at_start, number) ? SIG_IGN : note_stop;
    sigaction(number, &action, nullptr);
  }
  // A write past the file-size limit then fails with EFBIG and is cleaned up.
  signal(SIGXFSZ, SIG_IGN);
  pthread_sigmask(SIG_UNBLOCK, &held, nullptr);
  sigemptyset(&held);
}

bool stop_requested()
{
  return stop_signal != 0 || window_close_requested();
}
