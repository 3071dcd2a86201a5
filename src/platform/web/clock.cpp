// The browser's clock. The show runs on the page's one thread, so every
// sleep hands the browser its turn (to draw the canvas, take keys, play
// sound) by unwinding the show's stack (ASYNCIFY) until the time is up; a
// sleep of nothing still hands it a turn, or a show that is late for every
// frame would never let the page draw one. Before each sleep the sound gets
// its buffers for the time asleep, and the page hears how far the show is.
#include <emscripten.h>

#include "platform/platform.h"
#include "platform/services.h"
#include "platform/web/web.h"

static double awake_since_ms;
static double awake_ms;

int64_t monotonic_ns()
{
  return int64_t(emscripten_get_now() * 1e6);
}

void sleep_ns(int64_t duration_ns)
{
  feed_sound();
  const double now = emscripten_get_now();
  if (awake_since_ms > 0)
    awake_ms += now - awake_since_ms;
  EM_ASM({ Module.showProgress && Module.showProgress($0, $1, $2); }, double(pages_shown + retrace_waits),
         awake_ms, double(sound_buffers_queued));
  emscripten_sleep(duration_ns > 0 ? unsigned((duration_ns + 500'000) / 1'000'000) : 0);
  awake_since_ms = emscripten_get_now();
}
