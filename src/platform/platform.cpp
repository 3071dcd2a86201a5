#include "platform/platform.h"

#include <ctime>

bool pacing_enabled = true;
int64_t pages_shown = 0;
int64_t retrace_waits = 0;
void (*refresh_observer)(BITMAP *visible) = nullptr;
BITMAP *(*page_maker)() = nullptr;

static bool hardware_flip = false;
static frame_pacer pacer = {0, 0};

bool set_show_mode()
{
  if (set_gfx_mode(GFX_AUTODETECT_FULLSCREEN, 1024, 768, 1024, 768) == 0)
    return true;
  return set_gfx_mode(GFX_AUTODETECT_WINDOWED, 1024, 768, 0, 0) == 0;
}

// Allegro's X11 drivers have neither entry; their create_video_bitmap only
// carves pages out of the screen itself, which a clear of the screen wipes.
void choose_page_kind()
{
  hardware_flip = gfx_driver && gfx_driver->create_video_bitmap && gfx_driver->show_video_bitmap;
  pacer = {display_period_ns(), 0};
}

bool pages_flip_in_hardware()
{
  return hardware_flip;
}

BITMAP *create_page()
{
  if (page_maker)
    return page_maker();
  if (hardware_flip)
    return create_video_bitmap(SCREEN_W, SCREEN_H);
  return create_bitmap(SCREEN_W, SCREEN_H);
}

BITMAP *create_sprite_bitmap(int width, int height)
{
  BITMAP *bmp = hardware_flip ? create_video_bitmap(width, height) : nullptr;
  return bmp ? bmp : create_bitmap(width, height);
}

static int64_t monotonic_ns()
{
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t pace_refresh(frame_pacer &p, int64_t now_ns)
{
  if (p.next_deadline_ns == 0 || now_ns >= p.next_deadline_ns + p.period_ns) {
    // First refresh, or more than a whole period late: start afresh from now.
    p.next_deadline_ns = now_ns + p.period_ns;
    return 0;
  }
  int64_t sleep_ns = p.next_deadline_ns > now_ns ? p.next_deadline_ns - now_ns : 0;
  p.next_deadline_ns += p.period_ns;
  return sleep_ns;
}

int64_t display_period_ns()
{
  int rate = get_refresh_rate();
  if (rate < 20 || rate > 1000)
    rate = 60;
  return 1000000000LL / rate;
}

// Where the driver waits for the display itself there is nothing to pace.
static void pace()
{
  if (!pacing_enabled || hardware_flip)
    return;
  int64_t sleep_ns = pace_refresh(pacer, monotonic_ns());
  if (sleep_ns > 0) {
    timespec pause = {time_t(sleep_ns / 1000000000), long(sleep_ns % 1000000000)};
    while (nanosleep(&pause, &pause) != 0) {
    }
  }
}

void show_page(BITMAP *page)
{
  if (hardware_flip)
    show_video_bitmap(page);
  else
    blit(page, screen, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
  pages_shown++;
  if (refresh_observer)
    refresh_observer(hardware_flip ? page : screen);
  pace();
}

void wait_retrace()
{
  if (hardware_flip)
    vsync();
  retrace_waits++;
  if (refresh_observer)
    refresh_observer(screen);
  pace();
}
