// How the show's frames reach the display on the show's clock, the pages
// they are drawn on, and the counters and observers of the tests, the
// recorder and the benchmarks. The same on every system.
#include "platform/platform.h"

#include <cstdio>

#include "platform/services.h"

const char *program_name = "starloom";
bool pacing_enabled = true;
int64_t pages_shown = 0;
int64_t retrace_waits = 0;
int64_t flips_failed = 0;
void (*refresh_observer)(BITMAP *visible) = nullptr;
BITMAP *(*page_maker)() = nullptr;
bool start_windowed = false;
bool display_keeps_time = true;

static frame_pacer pacer = {show_tick_ns, 0};

BITMAP *create_page()
{
  if (page_maker)
    return page_maker();
  return create_video_bitmap(SCREEN_W, SCREEN_H);
}

BITMAP *create_sprite_bitmap(int width, int height)
{
  BITMAP *bmp = create_video_bitmap(width, height);
  return bmp ? bmp : create_bitmap(width, height);
}

int64_t pace_refresh(frame_pacer &p, int64_t now_ns)
{
  if (p.next_deadline_ns == 0 || now_ns >= p.next_deadline_ns + p.period_ns) {
    // First tick, or more than a whole period late: start afresh from now.
    p.next_deadline_ns = now_ns + p.period_ns;
    return 0;
  }
  int64_t sleep_ns = p.next_deadline_ns > now_ns ? p.next_deadline_ns - now_ns : 0;
  p.next_deadline_ns += p.period_ns;
  return sleep_ns;
}

void wait_for_show_tick()
{
  if (!pacing_enabled)
    return;
  sleep_ns(pace_refresh(pacer, monotonic_ns()));
}

// A page the driver cannot flip to is copied to the screen, so the viewer
// still sees the frame; the first says so, as it costs a full copy a frame.
void show_page(BITMAP *page)
{
  if (!display_keeps_time)
    wait_for_show_tick();
  if (show_video_bitmap(page) != 0) {
    if (flips_failed++ == 0)
      std::fputs("The display cannot flip to a page: frames are copied to the screen instead\n", stderr);
    blit(page, screen, 0, 0, 0, 0, page->w, page->h);
  }
  pages_shown++;
  if (refresh_observer)
    refresh_observer(screen);
}

void wait_retrace()
{
  if (!display_keeps_time)
    wait_for_show_tick();
  vsync();
  retrace_waits++;
  if (refresh_observer)
    refresh_observer(screen);
}
