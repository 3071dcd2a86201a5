// The clock and the sleep of the show's pacing, from Windows' performance
// counter and Sleep, which the system timer's 1 ms period set at start-up
// makes fine enough.
#include <windows.h>

#include "platform/services.h"

int64_t monotonic_ns()
{
  static const int64_t counts_per_second = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return int64_t(frequency.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const int64_t counts = now.QuadPart;
  return counts / counts_per_second * 1'000'000'000 + counts % counts_per_second * 1'000'000'000 / counts_per_second;
}

// Whole milliseconds, rounded down, as the C runtime's nanosleep sleeps here.
void sleep_ns(int64_t duration_ns)
{
  if (duration_ns >= 1'000'000)
    Sleep(DWORD(duration_ns / 1'000'000));
}
