#include <ctime>

#include "platform/services.h"

int64_t monotonic_ns()
{
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void sleep_ns(int64_t duration_ns)
{
  if (duration_ns <= 0)
    return;
  timespec pause = {time_t(duration_ns / 1000000000), long(duration_ns % 1000000000)};
  while (nanosleep(&pause, &pause) != 0) {
  }
}
