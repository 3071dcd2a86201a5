// The show in the browser as the native frame test plays it: without its
// clock, on the display-less stand-in, the same keys at the same frames of
// free flight. Each refresh prints its picture's hash, one line each; the
// page collects them and the test holds them to tests/frame_hashes.txt.
#include <emscripten.h>

#include <cstdio>

#include "platform/offscreen/offscreen.h"
#include "platform/platform.h"
#include "show/sequence.h"
#include "show_frames.h"

// Without the clock the show never sleeps: the browser gets a turn now and
// then, so that the page stays alive and its log flows.
static constexpr int64_t refreshes_between_turns = 100;

static int64_t refreshes;

static void print_hash(BITMAP *visible)
{
  refreshes++;
  std::printf("%016llx\n", static_cast<unsigned long long>(picture_hash(visible)));
  if (refreshes > flight_starts_after)
    press_flight_keys(int(refreshes - flight_starts_after));
  if (refreshes % refreshes_between_turns == 0)
    emscripten_sleep(0);
}

int main()
{
  use_offscreen_drivers();
  pacing_enabled = false;
  refresh_observer = print_hash;
  return run_show();
}
