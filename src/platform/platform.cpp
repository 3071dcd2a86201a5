#include "platform/platform.h"

#include <ctime>

#include "platform/drivers.h"

bool pacing_enabled = true;
int64_t pages_shown = 0;
int64_t retrace_waits = 0;
void (*refresh_observer)(BITMAP *visible) = nullptr;
BITMAP *(*page_maker)() = nullptr;
bool start_windowed = false;

static frame_pacer pacer = {show_tick_ns, 0};

// The fallback to a window happens inside the display driver, which knows
// whether the desktop refused full screen.
bool set_show_mode()
{
  return set_gfx_mode(GFX_AUTODETECT_FULLSCREEN, 1024, 768, 1024, 768) == 0;
}

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

int64_t monotonic_ns()
{
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
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

void sleep_ns(int64_t duration_ns)
{
  if (duration_ns <= 0)
    return;
  timespec pause = {time_t(duration_ns / 1000000000), long(duration_ns % 1000000000)};
  while (nanosleep(&pause, &pause) != 0) {
  }
}

void show_page(BITMAP *page)
{
  show_video_bitmap(page);
  pages_shown++;
  if (refresh_observer)
    refresh_observer(screen);
}

void wait_retrace()
{
  vsync();
  retrace_waits++;
  if (refresh_observer)
    refresh_observer(screen);
}
